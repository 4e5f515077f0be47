// The files pyrrow-cli opens by the names it is given (settings, firmware,
// trace): opened without waiting (a FIFO nobody writes, a device that would
// block), shared with other readers (no lock is taken), with the system's
// reason for every failure. Paths are the bytes given on POSIX systems and
// UTF-8 on Windows. One source file per system (named_file_posix.cpp,
// named_file_win.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pyrrow::cli {

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
    bool regular = false;  // a plain file on a disk: no FIFO, device, folder or socket
    bool readOnly = false;  // no write permission at all (also binding the superuser here)
    std::uint64_t size = 0;
    FileIdentity identity;
};

// The files on a disk that standard output and standard error write to
// (`--json > run.jsonl`), which no file named on the command line may be.
std::vector<FileIdentity> StandardOutputFiles();

class NamedFile {
public:
    NamedFile() = default;
    ~NamedFile();
    NamedFile(const NamedFile&) = delete;
    NamedFile& operator=(const NamedFile&) = delete;
    NamedFile(NamedFile&& other) noexcept : m_handle(std::exchange(other.m_handle, kNone)) {}
    // The file held before goes to other, which closes it.
    NamedFile& operator=(NamedFile&& other) noexcept
    {
        std::swap(m_handle, other.m_handle);
        return *this;
    }

    // Each returns false with *reason (the system's text) on failure.
    // An existing file, for reading.
    bool OpenToRead(const std::string& path, std::string* reason);
    // A file that must not exist yet, for writing; *exists tells whether
    // something (a file, a link, anything) is already there.
    bool CreateNew(const std::string& path, bool* exists, std::string* reason);
    // An existing file, for reading and writing, left as it is.
    bool OpenToRewrite(const std::string& path, std::string* reason);

    bool Facts(FileFacts* facts, std::string* reason) const;
    // Up to size bytes, fewer only at the end (*read is 0 there).
    bool Read(void* buffer, std::size_t size, std::size_t* read, std::string* reason);
    // All size bytes at the end of what was written so far.
    bool Write(const void* data, std::size_t size, std::string* reason);
    // Cuts the file to size bytes and writes on from there.
    bool Truncate(std::uint64_t size, std::string* reason);
    bool IsOpen() const { return m_handle != kNone; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;  // a descriptor, or a Windows HANDLE
};

}  // namespace pyrrow::cli
