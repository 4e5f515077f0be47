// --log FILE: the station's record, one JSON line per unit (when, where,
// which unit, which image, how it ended). Each line is appended and synced
// to the disk before the station waits for the next unit: a record that is
// not kept must stop the station. The file is one source file per system
// (unit_log_posix.cpp, unit_log_win.cpp); the record's text is shared.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "cli/device_uri.h"
#include "cli/firmware_image.h"
#include "cli/unit_result.h"

namespace pyrrow::cli {

// One unit as the log tells it.
struct UnitRecord {
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    std::string host;
    std::string fixture;  // the --device text
    DeviceUri::Link link = DeviceUri::Link::Serial;
    std::string path;          // serial port or USB device path; TCP: ADDRESS:PORT
    std::string stableName;    // serial: the /dev/serial/by-id name, when there is one
    std::string serialNumber;  // USB
    const FirmwareImage* firmware = nullptr;
    UnitResult result;
    std::uint64_t bytesSent = 0;
};

// The record as one line of JSON, without the line's end.
std::string RecordLine(const UnitRecord& record);

// "2026-12-07T21:30:05.123Z".
std::string UtcTimestamp(std::chrono::system_clock::time_point time);

// This machine's name, or "" when the system gives none.
std::string HostName();

// A file whose first and last bytes are these may be added to: one that
// holds JSON lines. NotALog says why another one is refused.
bool LooksLikeLog(char first, char last);
std::string NotALog(const std::string& path);

class UnitLog {
public:
    UnitLog() = default;
    ~UnitLog();
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    // Opens the file for appending, creating it when missing, without
    // waiting; it must be a regular file (what is synced must be on a disk)
    // that is empty or holds JSON lines. False with *problem.
    bool Open(const std::string& path, std::string* problem);
    bool IsOpen() const { return m_file != kNoFile; }
    // Appends the line and its end, then syncs the file. On failure the
    // file is cut back to where it was, so that it holds whole lines only,
    // and *problem says what failed on which file and why. Threads may
    // append at the same time.
    bool Append(const std::string& line, std::string* problem);

private:
    static constexpr std::intptr_t kNoFile = -1;
    std::mutex m_mutex;
    std::intptr_t m_file = kNoFile;  // a descriptor, or a handle on Windows
    std::string m_path;
};

}  // namespace pyrrow::cli
