// A file opened by the name a user gave (settings, firmware, traces, logs,
// stored images), for the command-line tool and the simulator. No open ever
// waits (a FIFO nobody writes, a device that waits for a line), nothing is
// locked, and every failure carries the system's reason. Paths are the
// bytes given on POSIX systems and UTF-8 on Windows. One source file per
// system (named_file_posix.cpp, named_file_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_error.h"

namespace pyrrow::platform {

// Which file an open handle is, whatever name reached it.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t node = 0;
    bool known = false;
    bool operator==(const FileIdentity& other) const
    {
        return known && other.known && volume == other.volume && node == other.node;
    }
};

struct FileFacts {
    // Windows tells only Regular, Folder and Other.
    enum class Kind { Regular, Folder, Fifo, Device, Socket, Other };
    Kind kind = Kind::Other;
    bool readOnly = false;  // no write permission at all (also binding the superuser here)
    std::uint64_t size = 0;
    FileIdentity identity;
    bool Regular() const { return kind == Kind::Regular; }
};

// The files on a disk that standard output and standard error write to
// (`--json > run.jsonl`), which no file named on the command line may be.
std::vector<FileIdentity> StandardOutputFiles();

// What path names, links followed, looked at without opening it (Windows
// opens a regular file without access, for its identity).
bool FactsAt(const std::string& path, FileFacts* facts, SystemError* error);

// Removes a file this program made. False when it could not be removed.
bool RemoveFile(const std::string& path);

class NamedFile {
public:
    enum class Access {
        Read,       // an existing file, for reading
        CreateNew,  // a new file for writing; a name taken by anything (a link too) fails with Kind::Exists
        Rewrite,    // an existing file, for reading and writing, left as it is
        Append,     // reading, and writing at the end only; made when missing
    };

    NamedFile() = default;
    ~NamedFile();
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;
    NamedFile(NamedFile&& other) noexcept
        : m_handle(std::exchange(other.m_handle, kNone)), m_append(other.m_append)
    {
    }
    // The file held before goes to other, which closes it.
    NamedFile& operator=(NamedFile&& other) noexcept
    {
        std::swap(m_handle, other.m_handle);
        std::swap(m_append, other.m_append);
        return *this;
    }

    // Each gives false, with the system's reason in *error, on failure. A
    // name that can be no file at all (a socket) fails with Kind::NotAFile.
    bool Open(const std::string& path, Access access, SystemError* error);
    bool IsOpen() const { return m_handle != kNone; }
    bool Facts(FileFacts* facts, SystemError* error) const;
    // Up to size bytes, fewer only at the end (*read is 0 there).
    bool Read(void* buffer, std::size_t size, std::size_t* read, SystemError* error);
    // All size bytes in one call where the system allows, after what was
    // written so far (after the file's end with Access::Append).
    bool Write(const void* data, std::size_t size, SystemError* error);
    // Cuts the file to size bytes and goes on from there.
    bool Truncate(std::uint64_t size, SystemError* error);
    // Makes what was written durable.
    bool Sync(SystemError* error);
    // Closes the file; false when the system reports that what was written
    // did not reach it. Closing a closed file does nothing.
    bool Close(SystemError* error);

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a Windows HANDLE
    bool m_append = false;           // Windows: each write goes to the end first
};

}  // namespace pyrrow::platform
