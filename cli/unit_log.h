// --log FILE: the station's record, one JSON line per unit (when, where,
// which unit, which image, how it ended). Each line is appended and synced
// to the disk before the station waits for the next unit: a record that is
// not kept must stop the station. The file is one source file per system
// (unit_log_posix.cpp, unit_log_win.cpp); the record's text is shared.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/device_uri.h"
#include "cli/firmware_image.h"
#include "cli/named_file.h"
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

// Whether a line is a record of ours (RecordLine's object); a log may be
// added to only when every line of it is one.
bool IsRecordLine(std::string_view line);

class UnitLog {
public:
    UnitLog() = default;
    ~UnitLog();
    UnitLog(const UnitLog&) = delete;
    UnitLog& operator=(const UnitLog&) = delete;

    // Opens the file for appending, creating it when missing, without
    // waiting; it must be a regular file (what is synced must be on a disk)
    // that is empty or holds records of ours only, and none of keep (the
    // firmware, the settings and the trace of this run). False with *problem.
    bool Open(const std::string& path, const std::vector<FileIdentity>& keep, std::string* problem);
    bool IsOpen() const { return m_file != kNoFile; }
    // Appends the line and its end, then syncs the file. When the path no
    // longer names the open file (it was removed or renamed, as a cleanup
    // or a rotation does), the path is opened anew first, as at the start,
    // and *notice says so; the line never goes into a file that nobody can
    // find. On failure the file is cut back to where it was, so that it
    // holds whole lines only, and *problem says what failed on which file
    // and why. Threads may append at the same time.
    bool Append(const std::string& line, std::string* problem, std::string* notice);

private:
    static constexpr std::intptr_t kNoFile = -1;
    // One source file per system: the opened file (or kNoFile with
    // *problem), whether the path still names m_file, closing, and the
    // append itself.
    std::intptr_t OpenFile(const std::string& path, std::string* problem) const;
    bool PathNamesFile() const;
    static void CloseFile(std::intptr_t file);
    bool Write(const std::string& line, std::string* problem);

    std::mutex m_mutex;
    std::intptr_t m_file = kNoFile;  // a descriptor, or a handle on Windows
    std::string m_path;
    std::vector<FileIdentity> m_keep;
};

// Why the text of an existing log is not records of ours, or "" when it
// is; read(buffer, size) gives its next bytes (0 at the end, below 0 with
// *reason when reading fails).
std::string LogContentProblem(const std::string& path,
                              const std::function<std::ptrdiff_t(char*, std::size_t, std::string*)>& read);

// Why a file of this identity may not be the log, or "".
std::string KeptFileProblem(const std::string& path, const FileIdentity& identity,
                            const std::vector<FileIdentity>& keep);

}  // namespace pyrrow::cli
