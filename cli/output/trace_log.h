// --trace FILE: every exchange on the wire as one JSON line: the time in
// milliseconds since the run started, the unit, the direction ("sent" or
// "received") and the bytes in hex. The file is made new, or it is an
// earlier trace (or an empty file) that is written over; nothing else is
// ever replaced: not the firmware, not the settings, not a file of another
// kind, nor a --log of ours. Workers write from their own threads, one whole line at a time; a
// failed write ends the trace after its last whole line and is reported.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files/named_file.h"

namespace pyrrow::cli {

class TraceLog {
public:
    TraceLog() = default;
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // keep: the files of this run that must not become the trace. The
    // problem, or "" when the trace is open.
    std::string Open(const std::string& path, const std::vector<platform::FileIdentity>& keep);
    bool IsOpen() const { return m_file.IsOpen(); }
    // Which file the trace is (unknown when none is open).
    platform::FileIdentity Identity() const;
    void Write(const std::string& unit, bool sent, std::span<const unsigned char> bytes);
    // Why the trace is incomplete, when a write failed.
    std::optional<std::string> Failure() const;

private:
    platform::NamedFile m_file;
    std::string m_path;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    mutable std::mutex m_mutex;
    std::uint64_t m_written = 0;  // bytes of whole lines in the file
    std::optional<std::string> m_failure;
};

}  // namespace pyrrow::cli
