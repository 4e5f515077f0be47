// --log FILE: the station's record, one JSON line per unit (when, where,
// which unit, which image, how it ended). Each line is appended and synced
// to the disk before the station waits for the next unit: a record that is
// not kept must stop the station.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/flash/device_uri.h"
#include "cli/flash/firmware_image.h"
#include "cli/output/record_tags.h"
#include "cli/station/unit_result.h"
#include "platform/files/named_file.h"

namespace pyrrow::cli {

// One unit as the log tells it.
struct UnitRecord {
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    std::string id;  // unique across hosts and runs (NewRecordId)
    std::string host;
    std::string fixture;  // the --device text
    unsigned number = 1;  // the unit's number on its fixture, from 1
    const Tags* tags = nullptr;  // null: none
    DeviceUri::Link link = DeviceUri::Link::Serial;
    std::string path;          // serial port or USB device path; TCP: ADDRESS:PORT
    std::string stableName;    // serial: the /dev/serial/by-id name, when there is one
    std::string serialNumber;  // USB
    const FirmwareImage* firmware = nullptr;
    UnitResult result;
};

// The record as one line of JSON, without the line's end.
std::string RecordLine(const UnitRecord& record);

// Whether a line is a record of ours (RecordLine's object); a log may be
// added to only when every line of it is one.
bool IsRecordLine(std::string_view line);

class UnitLog {
public:
    // Opens the file for appending, creating it when missing, without
    // waiting; it must be a regular file (what is synced must be on a disk)
    // that is empty or holds records of ours only, and none of keep (the
    // firmware, the settings and the trace of this run). The problem, or ""
    // when the log is open.
    std::string Open(const std::string& path, const std::vector<platform::FileIdentity>& keep);
    bool IsOpen() const { return m_file.IsOpen(); }

    struct Appended {
        std::string problem;  // "" when the line was kept
        std::string notice;
    };
    // Appends the line and its end, then syncs the file. When the path no
    // longer names the open file (it was removed or renamed, as a cleanup
    // or a rotation does), the path is opened anew first, as at the start,
    // and the notice says so; the line never goes into a file that nobody
    // can find. On failure the file is cut back to where it was, so that it
    // holds whole lines only, and the problem says what failed on which
    // file and why. Threads may append at the same time.
    Appended Append(const std::string& line);
    // Syncs what was appended, once a line being appended is whole (a
    // stopped run that is ended before it can end by itself).
    void Sync();

private:
    // The log at path, opened and checked as at the start, or the problem.
    std::string OpenFile(const std::string& path, platform::NamedFile* file) const;
    bool PathNamesFile() const;
    std::string Write(const std::string& line);

    std::mutex m_mutex;
    platform::NamedFile m_file;
    std::string m_path;
    std::vector<platform::FileIdentity> m_keep;
};

}  // namespace pyrrow::cli
