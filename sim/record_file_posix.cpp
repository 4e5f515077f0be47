// Record files on POSIX systems: stat before open, so that a FIFO or a
// device is never opened, and O_NONBLOCK on every open besides, so that one
// put in place meanwhile cannot hold us either.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/record_file.h"

namespace pyrrow::sim {
namespace {

std::string Reason(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// What a name that is no regular file is, in words; empty for a regular file.
std::string NotRegular(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "is a folder";
    if (S_ISFIFO(mode))
        return "is a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device";
    if (S_ISSOCK(mode))
        return "is a socket";
    return "is no regular file";
}

class PosixFile final : public RecordFile {
public:
    PosixFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Refuses what another program put in place between the look and the open.
    bool CheckRegular(std::string* error)
    {
        struct stat s {};
        if (::fstat(m_fd, &s) != 0) {
            *error = Reason(m_path, errno);
            return false;
        }
        if (const std::string what = NotRegular(s.st_mode); !what.empty()) {
            *error = m_path + " " + what + ", not a regular file";
            return false;
        }
        // Writes and reads of a regular file take no notice of O_NONBLOCK;
        // leave nothing surprising behind all the same.
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        return true;
    }

    bool Truncate(std::string* error) override
    {
        if (::ftruncate(m_fd, 0) == 0 && ::lseek(m_fd, 0, SEEK_SET) == 0)
            return true;
        *error = Reason("emptying " + m_path, errno);
        return false;
    }

    bool Write(const void* data, std::size_t size, std::string* error) override
    {
        const auto* bytes = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(m_fd, bytes, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                *error = Reason("writing " + m_path, n < 0 ? errno : EIO);
                return false;
            }
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Close(std::string* error) override
    {
        if (m_fd < 0)
            return true;
        const int fd = m_fd;
        m_fd = -1;
        // A full disk may show only when the data is written out: make it
        // show here, while the file can still be removed and the failure told.
        if (::fsync(fd) != 0 && errno != EINVAL) {
            *error = Reason("writing " + m_path + " out", errno);
            ::close(fd);
            return false;
        }
        if (::close(fd) != 0 && errno != EINTR) {
            *error = Reason("closing " + m_path, errno);
            return false;
        }
        return true;
    }

    int Fd() const { return m_fd; }

private:
    int m_fd;
    std::string m_path;
};

}  // namespace

std::unique_ptr<RecordFile> RecordFile::CreateNew(const std::string& path, bool* exists, std::string* error)
{
    *exists = false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        *exists = errno == EEXIST;
        *error = Reason("cannot make " + path, errno);
        return nullptr;
    }
    auto file = std::make_unique<PosixFile>(fd, path);
    // O_EXCL made it: a regular file, ours.
    return file->CheckRegular(error) ? std::move(file) : nullptr;
}

std::unique_ptr<RecordFile> RecordFile::OpenExisting(const std::string& path, std::size_t peek, std::string* head,
                                                     std::string* error)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        *error = Reason(path, errno);
        return nullptr;
    }
    if (const std::string what = NotRegular(s.st_mode); !what.empty()) {
        *error = path + " " + what + ", not a regular file";
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("cannot open " + path, errno);
        return nullptr;
    }
    auto file = std::make_unique<PosixFile>(fd, path);
    if (!file->CheckRegular(error))
        return nullptr;
    head->assign(peek, '\0');
    std::size_t got = 0;
    while (got < peek) {
        const ssize_t n = ::read(file->Fd(), head->data() + got, peek - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = Reason("reading " + path, errno);
            return nullptr;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    head->resize(got);
    return file;
}

bool RecordFile::ReadRegular(const std::string& path, std::uint64_t limit, std::string* bytes, std::string* error)
{
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        *error = Reason(path, errno);
        return false;
    }
    if (const std::string what = NotRegular(s.st_mode); !what.empty()) {
        *error = path + " " + what + ", not a regular file";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = Reason("cannot open " + path, errno);
        return false;
    }
    PosixFile file(fd, path);
    if (!file.CheckRegular(error))
        return false;
    if (::fstat(fd, &s) != 0 || static_cast<std::uint64_t>(s.st_size) > limit) {
        *error = path + " is larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = Reason("reading " + path, errno);
            return false;
        }
        if (n == 0)
            return true;
        if (bytes->size() + static_cast<std::size_t>(n) > limit) {
            *error = path + " is larger than " + std::to_string(limit) + " bytes";
            return false;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
}

void RecordFile::Remove(const std::string& path)
{
    ::unlink(path.c_str());
}

}  // namespace pyrrow::sim
