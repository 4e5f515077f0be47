#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_posix.h"
#include "platform/named_file.h"

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
    const int flags = access == Access::Read        ? O_RDONLY
                      : access == Access::CreateNew ? O_WRONLY | O_CREAT | O_EXCL
                      : access == Access::Rewrite   ? O_RDWR
                                                    : O_RDWR | O_APPEND | O_CREAT;
    const int fd = ::open(path.c_str(), flags | kFlags, access == Access::Append ? 0644 : 0666);
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
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_handle), buffer, size);
        if (n >= 0) {
            *read = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR)
            return Fail(error);
    }
}

bool NamedFile::Write(const void* data, std::size_t size, SystemError* error)
{
    int code = 0;
    return file_posix::WriteAll(static_cast<int>(m_handle), static_cast<const char*>(data), size, &code) ||
           Fail(error, code);
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
