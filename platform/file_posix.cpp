#include "platform/file.h"
#include "platform/system_error.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <random>
#include <string>

#include <utf8.h>

namespace pyrrow::platform {

struct OpenFile {
    int fd = -1;
    // Set for a replacement: where the content goes and where it is written first.
    std::string target;
    std::string temporary;
    bool committed = false;
    bool failed = false;  // a write failed or was short
    // Buffered output of a replacement; without it, writes go straight out.
    std::unique_ptr<char[]> buffer;
    std::size_t pending = 0;
};

namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;

bool ToSystemPath(const char16_t* path, std::string* out)
{
    if (path == nullptr || path[0] == 0)
        return false;
    const char16_t* end = path;
    while (*end != 0)
        ++end;
    try {
        utf8::utf16to8(path, end, std::back_inserter(*out));
    } catch (const std::exception&) {
        return false;  // a lone surrogate names no file, or memory ran out
    }
    return true;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool Flush(OpenFile* f)
{
    if (f->pending > 0) {
        if (!WriteAll(f->fd, f->buffer.get(), f->pending))
            f->failed = true;
        f->pending = 0;
    }
    return !f->failed;
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new, exclusive file beside target; its name is target with a random tail.
int CreateBeside(const std::string& target, std::string* name)
{
    try {
        std::random_device random;
        for (int attempt = 0; attempt < 16; ++attempt) {
            *name = target + ".new-" + std::to_string(random() % 1000000000u);
            const int fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0 || errno != EEXIST)
                return fd;
        }
    } catch (const std::exception&) {
        // no random source or no memory: no file
    }
    return -1;
}

// A handle for an open descriptor of a regular file that could be locked
// (LOCK_SH or LOCK_EX) at once; otherwise the descriptor is closed and the
// result is null. Only regular files: a FIFO or a device could keep a reader
// waiting forever.
FileHandle AdoptRegularFile(int fd, int lock, SystemError* error = nullptr)
{
    if (fd < 0) {
        CaptureSystemError(error);
        return nullptr;
    }
    struct stat st {};
    OpenFile* f = nullptr;
    if (::fstat(fd, &st) != 0)
        CaptureSystemError(error);
    else if (!S_ISREG(st.st_mode))
        SetErrorText(error, SystemError::Kind::Other, "not a regular file");
    else if (::flock(fd, lock | LOCK_NB) != 0)
        CaptureSystemError(error, "another program holds the file");
    else if ((f = new (std::nothrow) OpenFile) == nullptr)
        SetSystemError(error, ENOMEM);
    if (f == nullptr) {
        ::close(fd);
        return nullptr;
    }
    f->fd = fd;
    return f;
}

}  // namespace

FileHandle OpenOrCreateShared(const char16_t* path)
{
    std::string name;
    if (!ToSystemPath(path, &name))
        return nullptr;
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    // A shared lock stands in for the sharing rules: it fails while a
    // document holds the file exclusively after saving it.
    return AdoptRegularFile(fd, LOCK_SH);
}

FileHandle BeginReplacement(const char16_t* path)
{
    auto* f = new (std::nothrow) OpenFile;
    if (f == nullptr)
        return nullptr;
    if (!ToSystemPath(path, &f->target)) {
        delete f;
        return nullptr;
    }
    struct stat st {};
    const bool exists = ::stat(f->target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        delete f;
        return nullptr;
    }
    // A settings file reached through a link is replaced where it really
    // is, so that the link stays.
    if (exists) {
        if (char* real = ::realpath(f->target.c_str(), nullptr)) {
            try {
                f->target = real;
            } catch (const std::exception&) {
                // memory ran out: the link itself is replaced
            }
            std::free(real);
        }
    }
    f->fd = CreateBeside(f->target, &f->temporary);
    if (f->fd < 0) {
        delete f;
        return nullptr;
    }
    if ((exists && ::fchmod(f->fd, st.st_mode & 07777) != 0) || ::flock(f->fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(f->fd);
        ::unlink(f->temporary.c_str());
        delete f;
        return nullptr;
    }
    f->buffer.reset(new (std::nothrow) char[kWriteBuffer]);
    return f;
}

bool CommitReplacement(FileHandle f, bool writeComplete)
{
    if (f == nullptr || f->temporary.empty() || f->committed)
        return false;
    const bool written = Flush(f) && writeComplete && ::fsync(f->fd) == 0;
    if (!written || ::rename(f->temporary.c_str(), f->target.c_str()) != 0) {
        ::unlink(f->temporary.c_str());
        f->temporary.clear();
        return false;
    }
    f->committed = true;
    // Make the rename itself durable; the content is already in place, so a
    // failure here is not a failed save.
    const int dir = ::open(DirectoryOf(f->target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool GetFileSize(FileHandle f, std::uint64_t* size)
{
    struct stat st {};
    if (f == nullptr || ::fstat(f->fd, &st) != 0)
        return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

FileHandle OpenExclusiveForReading(const char16_t* path, SystemError* error)
{
    std::string name;
    if (!ToSystemPath(path, &name)) {
        SetErrorText(error, SystemError::Kind::NotFound, "no file named");
        return nullptr;
    }
    return AdoptRegularFile(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK), LOCK_EX, error);
}

bool ReadFromStart(FileHandle f, void* buffer, std::size_t size, std::size_t* read)
{
    *read = 0;
    if (f == nullptr || ::lseek(f->fd, 0, SEEK_SET) != 0)
        return false;
    return ReadNext(f, buffer, size, read);
}

bool ReadNext(FileHandle f, void* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    *read = 0;
    if (f == nullptr)
        return false;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        const ssize_t n = ::read(f->fd, out + *read, size - *read);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            CaptureSystemError(error);
            return false;
        }
        if (n == 0)
            break;
        *read += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteFile(FileHandle f, const void* data, std::size_t size)
{
    if (f == nullptr)
        return false;
    if (f->temporary.empty() || f->committed) {
        if (!WriteAll(f->fd, static_cast<const char*>(data), size))
            f->failed = true;
        return !f->failed;
    }
    if (f->pending + size > kWriteBuffer && !Flush(f))
        return false;
    if (f->buffer == nullptr || size >= kWriteBuffer) {
        if (!WriteAll(f->fd, static_cast<const char*>(data), size))
            f->failed = true;
        return !f->failed;
    }
    std::memcpy(f->buffer.get() + f->pending, data, size);
    f->pending += size;
    return true;
}

void CloseFile(FileHandle f)
{
    if (f == nullptr)
        return;
    if (!f->temporary.empty() && !f->committed)
        ::unlink(f->temporary.c_str());
    ::close(f->fd);
    delete f;
}

}  // namespace pyrrow::platform
