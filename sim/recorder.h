// What the simulated units received and did: every exchange as a JSON line
// in the trace file, each complete image stored as a file, a line per
// upload on standard error, and at the end a summary of all uploads.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/faults.h"

namespace pyrrow::sim {

// One upload as a unit saw it, from the program's first byte to the end of
// the link.
struct UploadRecord {
    std::string image;               // the header and the data, as received
    std::uint64_t frames = 0;        // TCP frames, serial blocks of 256 bytes, USB reports after the header
    bool countersInOrder = true;     // TCP: every counter the one expected
    bool complete = false;           // the program sent it all and ended the link itself
    std::string end;                 // how it ended, in words
    std::vector<std::string> faults;  // the faults it hit, in order
};

class Recorder {
public:
    struct Options {
        std::string storeDir;   // empty: images are not stored
        std::string traceFile;  // empty: no trace
    };

    // Creates the store folder and the trace file. Null, with what failed
    // and why in *error, when either cannot be made.
    static std::unique_ptr<Recorder> Open(const Options& options, std::string* error);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Units are named like "tcp-1"; address is where the program finds them.
    void AddUnit(const std::string& unit, Link link, const std::string& address);

    // The trace: bytes the unit received, bytes it sent (with the fault
    // that shaped them), and what happened to the link.
    void Received(const std::string& unit, const void* data, std::size_t size);
    void Sent(const std::string& unit, const void* data, std::size_t size, const Fault* fault);
    void Event(const std::string& unit, std::string_view what, const Fault* fault = nullptr);

    // Stores a complete image, tells the operator and keeps the upload for
    // the summary.
    void UploadEnded(const std::string& unit, UploadRecord record);

    // Every unit saw an upload, and its first one was complete.
    bool EveryUnitComplete() const;

    // The summary as one JSON object.
    std::string SummaryJson(int exitCode) const;

private:
    struct Upload {
        UploadRecord record;
        std::string sha256;
        std::string stored;
    };
    struct Unit {
        std::string name;
        Link link;
        std::string address;
        std::vector<Upload> uploads;
    };

    explicit Recorder(Options options) : m_options(std::move(options)) {}
    void Trace(const std::string& unit, std::string_view direction, const void* data, std::size_t size,
               std::string_view event, const Fault* fault);
    std::string Store(const std::string& unit, const std::string& image);

    Options m_options;
    std::FILE* m_trace = nullptr;
    std::vector<Unit> m_units;
};

}  // namespace pyrrow::sim
