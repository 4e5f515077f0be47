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

// Exit codes: every unit complete (or stopped without --once); --once and
// a unit without a complete image; usage or set-up failure.
inline constexpr int kExitOk = 0;
inline constexpr int kExitIncomplete = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    Link link = Link::Tcp;
    std::vector<Fault> faults;
    std::string storeDir;
    std::string traceFile;
    bool once = false;
    bool json = false;

    // tcp
    std::string host = "127.0.0.1";
    std::optional<std::uint16_t> port;  // none: the default port or the next free one
    unsigned count = 1;

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
