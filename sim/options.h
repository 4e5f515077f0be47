// The simulator's command line: which link, how many units and where, the
// faults, and what to record. Parsing prints help and usage errors itself.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace pyrrow::sim {

// Exit codes: every upload ended in order (and was the expected image, when
// one is), also when stopped; an upload ended out of order (one that a stop
// cut included), was not the expected image, or a unit of --once or --units
// had none; usage or set-up failure; an image could not be stored or the
// trace could not be written. A second stop request ends the simulator at
// once with 130.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIncomplete = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRecordFailed = 3;

// The largest --expect file read: far above any unit's flash.
inline constexpr std::uint64_t kExpectLimit = 64ull << 20;

struct Options {
    Link link = Link::Tcp;
    std::vector<Fault> faults;
    std::string storeDir;
    std::string traceFile;
    std::string expectFile;  // empty: any image will do
    bool once = false;
    bool json = false;
    // A production line: each unit takes one upload, goes away for gap
    // seconds and the next takes its place, units in all per place; 0: one
    // unit per place that stays.
    unsigned units = 0;
    double gap = 1.0;

    // tcp
    std::string host = "127.0.0.1";
    std::optional<std::uint16_t> port;  // none: the default port or the next free one
    unsigned count = 1;
    double idleTimeout = 30.0;  // seconds a connection may bring nothing; 0: for ever

    // serial
    std::string serialPort;  // a port named for the unit; empty: a pseudo-terminal
    std::string linkPath;
    bool lineRate = false;

    // usb
    std::string uhidPath = "/dev/uhid";
};

struct ParsedOptions {
    std::optional<Options> options;  // none: exit at once with exitCode
    int exitCode = kExitOk;
};

// Parses argv; help, version and usage errors are written to out and err.
ParsedOptions ParseOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace pyrrow::sim
