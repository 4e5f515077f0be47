#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/named_file.h"

namespace pyrrow::cli {
namespace {

std::string ErrorText(int error)
{
    char buffer[128];
    return ::strerror_r(error, buffer, sizeof buffer);
}

bool Fail(std::string* reason)
{
    *reason = ErrorText(errno);
    return false;
}

// O_NONBLOCK: opening a FIFO without a writer, or a device that waits for
// a line, returns at once; the descriptor of a regular file is unaffected.
constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

}  // namespace

std::vector<FileIdentity> StandardOutputFiles()
{
    std::vector<FileIdentity> files;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            files.push_back({static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true});
    }
    return files;
}

NamedFile::~NamedFile()
{
    if (m_handle != kNone)
        ::close(static_cast<int>(m_handle));
}

bool NamedFile::OpenToRead(const std::string& path, std::string* reason)
{
    const int fd = ::open(path.c_str(), O_RDONLY | kFlags);
    if (fd < 0)
        return Fail(reason);
    m_handle = fd;
    return true;
}

bool NamedFile::CreateNew(const std::string& path, bool* exists, std::string* reason)
{
    // O_EXCL also refuses a symbolic link in the place, wherever it leads.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | kFlags, 0666);
    *exists = fd < 0 && errno == EEXIST;
    if (fd < 0)
        return Fail(reason);
    m_handle = fd;
    return true;
}

bool NamedFile::OpenToRewrite(const std::string& path, std::string* reason)
{
    const int fd = ::open(path.c_str(), O_RDWR | kFlags);
    if (fd < 0)
        return Fail(reason);
    m_handle = fd;
    return true;
}

bool NamedFile::Facts(FileFacts* facts, std::string* reason) const
{
    struct stat st {};
    if (::fstat(static_cast<int>(m_handle), &st) != 0)
        return Fail(reason);
    facts->regular = S_ISREG(st.st_mode);
    facts->readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    facts->size = static_cast<std::uint64_t>(st.st_size);
    facts->identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
    return true;
}

bool NamedFile::Read(void* buffer, std::size_t size, std::size_t* read, std::string* reason)
{
    *read = 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_handle), buffer, size);
        if (n >= 0) {
            *read = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR)
            return Fail(reason);
    }
}

bool NamedFile::Write(const void* data, std::size_t size, std::string* reason)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(m_handle), bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(reason);
        if (n == 0) {
            *reason = ErrorText(ENOSPC);
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool NamedFile::Truncate(std::uint64_t size, std::string* reason)
{
    const int fd = static_cast<int>(m_handle);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0)
        return Fail(reason);
    return true;
}

}  // namespace pyrrow::cli
