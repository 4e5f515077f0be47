// The file service: a file opened by its name (settings, firmware, traces,
// logs, stored images), a file replaced safely by new content, and what is
// done with files by name (may we write there, make folders, copy to a new
// name, move aside). No open ever waits (a FIFO nobody writes, a device that
// waits for a line), and every failure returns the system's reason, caught
// right after the call; nothing here writes to standard error. Paths are
// the bytes given on POSIX systems and UTF-8 on Windows. Three source files
// per system: the open file (named_file_*), the replacement and copies
// (file_replace_*), the functions on names (file_paths_*).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

// Whether this user may write at path: create files in it when it is a
// folder, change it when it is a file (a file without any write permission
// bit counts as read-only, also to the superuser). Links are followed. A no
// is an answer, not a failure.
bool CanWrite(const std::string& path);

// Makes the folder and those above it that are missing, for this user
// alone (mode 0700). True when the folder is there.
bool CreateFolders(const std::string& path, SystemError* error);

// Copies the regular file from to the name to, which must be free: to
// appears complete or not at all, and nothing there is ever replaced.
bool CopyToNewFile(const std::string& from, const std::string& to, SystemError* error);

// Renames path to path + suffix, or to path + suffix + ".1", ".2", ... when
// that name is taken; nothing is ever replaced. A symbolic link is renamed
// itself: what it leads to stays where and as it is. A file that another
// program holds (Access::Shared) is not moved. *movedTo gets the new name.
bool MoveAside(const std::string& path, const std::string& suffix, std::string* movedTo, SystemError* error);

// Where the last folder separator of path stands ('/', and '\\' too on
// Windows), or npos; and the separator this system writes.
std::size_t LastPathSeparator(const std::u16string& path);
char16_t PathSeparator();

// Why a UTF-16 path cannot name a file here, as "is not valid UTF-8"
// (a lone surrogate), "is 300 characters long, past MAX_PATH" (Windows,
// whose plain calls take no longer path); empty when it can. The path for
// these functions is then Utf16ToUtf8Lossy(path).
std::string PathUnfitForFiles(const std::u16string& path);

class NamedFile {
public:
    enum class Access {
        Read,       // an existing file, for reading
        CreateNew,  // a new file for writing; a name taken by anything (a link too) fails with Kind::Exists
        Rewrite,    // an existing file, for reading and writing, left as it is
        Append,     // reading, and writing at the end only; made when missing
        // An existing regular file, for reading, for us alone: one that
        // another program holds fails with Kind::Busy, and others are kept
        // from holding it meanwhile (a firmware image while it is sent).
        ReadExclusive,
        // A regular file for reading and writing, made empty when nothing is
        // there (a symbolic link that leads nowhere gets no file at its end:
        // Kind::NotFound, as for a missing folder); one that may only be read
        // opens for reading. Others may read and write it meanwhile, but
        // while a Replace holds it this fails with Kind::Busy (settings).
        Shared,
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
    // Up to size bytes, fewer only at the end of a file (*read is 0 there)
    // or where a FIFO or device has no more for now.
    bool Read(void* buffer, std::size_t size, std::size_t* read, SystemError* error);
    // All size bytes in one call where the system allows, after what was
    // written so far (after the file's end with Access::Append).
    bool Write(const void* data, std::size_t size, SystemError* error);
    // Replaces the file at path by content: it goes to a new file beside it,
    // which takes the old file's permissions and has no name (or a temporary
    // one) until it is complete and durable, and then takes the old file's
    // place in one step; nothing is left beside on failure or at the
    // program's end. Refused for a file that may not be written (one without
    // any write permission bit is read-only even to the superuser) and for a
    // symbolic link unless the link, every link after it and the file it
    // leads to belong to this user; such a file is replaced where it is and
    // the link stays. Where the folder may not be written but the file may,
    // the file is rewritten in place, which is then not one step. On success
    // this object holds the new file, and nobody else may open it Shared,
    // until Close. On failure the old file is as it was and error's text
    // tells the step, the file and the reason, as "save /x/s.xml: the file
    // is read-only; it is kept as it is" or "write /x/s.xml: File too large"
    // (a save goes through links and new files that the caller never named).
    bool Replace(const std::string& path, std::string_view content, SystemError* error);
    // Cuts the file to size bytes and goes on from there.
    bool Truncate(std::uint64_t size, SystemError* error);
    // Makes what was written durable.
    bool Sync(SystemError* error);
    // Closes the file; false when the system reports that what was written
    // did not reach it. Closing a closed file does nothing.
    bool Close(SystemError* error);

private:
    friend bool CopyToNewFile(const std::string& from, const std::string& to, SystemError* error);
    // Writes all size bytes to an open descriptor or handle.
    static bool WriteAll(std::intptr_t handle, const void* data, std::size_t size, SystemError* error);

    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a Windows HANDLE
    bool m_append = false;           // Windows: each write goes to the end first
};

}  // namespace pyrrow::platform
