// --trace FILE: every exchange on the wire as one JSON line: the time in
// milliseconds since the run started, the unit, the direction ("sent" or
// "received") and the bytes in hex. Workers write from their own threads;
// each line is one write to the stream.
#pragma once

#include <chrono>
#include <cstdio>
#include <span>
#include <string>

namespace pyrrow::cli {

class TraceLog {
public:
    TraceLog() = default;
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Creates (or empties) the file. False with *problem on failure.
    bool Open(const std::string& path, std::string* problem);
    bool IsOpen() const { return m_file != nullptr; }
    void Write(const std::string& unit, bool sent, std::span<const unsigned char> bytes);

private:
    std::FILE* m_file = nullptr;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace pyrrow::cli
