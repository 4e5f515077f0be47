#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/named_file.h"

namespace pyrrow::platform {
namespace {

bool Fail(SystemError* error, int code = errno)
{
    SetSystemError(error, code);
    return false;
}

FileIdentity IdentityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

void Describe(const struct stat& st, FileFacts* facts)
{
    const mode_t mode = st.st_mode;
    facts->kind = S_ISREG(mode)                    ? FileFacts::Kind::Regular
                  : S_ISDIR(mode)                  ? FileFacts::Kind::Folder
                  : S_ISFIFO(mode)                 ? FileFacts::Kind::Fifo
                  : S_ISCHR(mode) || S_ISBLK(mode) ? FileFacts::Kind::Device
                  : S_ISSOCK(mode)                 ? FileFacts::Kind::Socket
                                                   : FileFacts::Kind::Other;
    facts->readOnly = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    facts->size = static_cast<std::uint64_t>(st.st_size);
    facts->identity = IdentityOf(st);
}

// Keeps fd when it is a regular file that could be locked (LOCK_SH or
// LOCK_EX) at once; otherwise closes it and gives -1 with the cause. Only
// regular files: a FIFO or a device could keep a reader waiting forever.
int HoldRegularFile(int fd, int lock, SystemError* error)
{
    struct stat st {};
    int code = 0;
    if (::fstat(fd, &st) != 0)
        code = errno;
    else if (S_ISREG(st.st_mode) && ::flock(fd, lock | LOCK_NB) == 0)
        return fd;
    else if (S_ISREG(st.st_mode))
        code = errno;
    ::close(fd);  // before anything that could throw
    if (code == 0)
        SetErrorText(error, SystemError::Kind::Other, "not a regular file");
    else if (code == EWOULDBLOCK)
        SetErrorText(error, SystemError::Kind::Busy, "held by another program");
    else
        SetSystemError(error, code);
    return -1;
}

// Opened, or made where nothing is, in one call, so that two programs
// starting at the same moment both open the one file that either made.
// That call follows no symbolic link: one that leads to a file is opened
// after it, one that leads nowhere gets no file made at its end.
int OpenOrCreateShared(const std::string& path, SystemError* error)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    int code = fd < 0 ? errno : 0;
    if (code == ELOOP) {
        fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        code = fd < 0 ? errno : 0;
        if (code == ENOENT) {
            SetErrorText(error, SystemError::Kind::NotFound, "a symbolic link that leads nowhere is in its place");
            return -1;
        }
    }
    if (code == EACCES || code == EROFS) {
        // A file that may only be read, or no file in a folder that may
        // not be written.
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT) {
            // Nothing there, and nothing may be made: the folder's refusal.
            SetSystemError(error, code);
            if (error != nullptr)
                error->kind = SystemError::Kind::NotFound;
            return -1;
        }
        if (fd < 0)
            code = errno;
    }
    if (fd < 0) {
        SetSystemError(error, code);
        return -1;
    }
    // A shared lock stands in for the sharing rules: it fails while a
    // replacement holds the file.
    return HoldRegularFile(fd, LOCK_SH, error);
}

}  // namespace

std::vector<FileIdentity> StandardOutputFiles()
{
    std::vector<FileIdentity> files;
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            files.push_back(IdentityOf(st));
    }
    return files;
}

bool FactsAt(const std::string& path, FileFacts* facts, SystemError* error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Fail(error);
    Describe(st, facts);
    return true;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

NamedFile::~NamedFile()
{
    if (m_handle != kNone)
        ::close(static_cast<int>(m_handle));
}

bool NamedFile::Open(const std::string& path, Access access, SystemError* error)
{
    // O_NONBLOCK: opening a FIFO without a writer, or a device that waits
    // for a line, returns at once; a regular file takes no notice of it.
    // O_EXCL also refuses a symbolic link in the place, wherever it leads.
    constexpr int kFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = -1;
    if (access == Access::Shared) {
        fd = OpenOrCreateShared(path, error);
        if (fd < 0)
            return false;
    } else if (access == Access::ReadExclusive) {
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
        if (fd >= 0 && (fd = HoldRegularFile(fd, LOCK_EX, error)) < 0)
            return false;
    } else {
        const int flags = access == Access::Read        ? O_RDONLY
                          : access == Access::CreateNew ? O_WRONLY | O_CREAT | O_EXCL
                          : access == Access::Rewrite   ? O_RDWR
                                                        : O_RDWR | O_APPEND | O_CREAT;
        fd = ::open(path.c_str(), flags | kFlags, access == Access::Append ? 0644 : 0666);
    }
    if (fd < 0) {
        const int code = errno;
        SetSystemError(error, code);
        if (error != nullptr && code == ENXIO)
            error->kind = SystemError::Kind::NotAFile;
        return false;
    }
    if (m_handle != kNone)
        ::close(static_cast<int>(m_handle));
    m_handle = fd;
    return true;
}

bool NamedFile::Facts(FileFacts* facts, SystemError* error) const
{
    struct stat st {};
    if (::fstat(static_cast<int>(m_handle), &st) != 0)
        return Fail(error);
    Describe(st, facts);
    return true;
}

bool NamedFile::Read(void* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    *read = 0;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        const ssize_t n = ::read(static_cast<int>(m_handle), out + *read, size - *read);
        if (n > 0)
            *read += static_cast<std::size_t>(n);
        else if (n == 0 || (errno == EAGAIN && *read > 0))
            break;
        else if (errno != EINTR)
            return Fail(error);
    }
    return true;
}

bool NamedFile::Write(const void* data, std::size_t size, SystemError* error)
{
    return WriteAll(m_handle, data, size, error);
}

bool NamedFile::WriteAll(std::intptr_t handle, const void* data, std::size_t size, SystemError* error)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(handle), bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Fail(error, n < 0 ? errno : ENOSPC);  // nothing written and no reason: the device is full
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool NamedFile::Truncate(std::uint64_t size, SystemError* error)
{
    const int fd = static_cast<int>(m_handle);
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0 || ::lseek(fd, static_cast<off_t>(size), SEEK_SET) < 0)
        return Fail(error);
    return true;
}

bool NamedFile::Sync(SystemError* error)
{
    // EINVAL: a file that keeps nothing to sync.
    return ::fsync(static_cast<int>(m_handle)) == 0 || errno == EINVAL || Fail(error);
}

bool NamedFile::Close(SystemError* error)
{
    if (m_handle == kNone)
        return true;
    const int fd = static_cast<int>(std::exchange(m_handle, kNone));
    return ::close(fd) == 0 || errno == EINTR || Fail(error);
}

}  // namespace pyrrow::platform
