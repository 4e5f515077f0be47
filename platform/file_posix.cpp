#include "platform/file_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/utf.h"

namespace pyrrow::platform {

namespace file_posix {

bool ToSystemPath(const char16_t* path, std::string* out)
{
    if (path == nullptr || path[0] == 0)
        return false;
    try {
        std::optional<std::string> name = Utf16ToUtf8(path);
        if (!name)
            return false;  // a lone surrogate names no file
        *out = std::move(*name);
    } catch (const std::exception&) {
        return false;  // memory ran out
    }
    return true;
}

std::string Printable(const char16_t* path)
{
    std::string name;
    if (path == nullptr)
        return "(no name)";
    if (!ToSystemPath(path, &name))
        return path[0] == 0 ? "(empty name)" : "(a name that is not valid UTF-16)";
    return name;
}

std::string ErrorText(int error)
{
    char buffer[128];
    return ::strerror_r(error, buffer, sizeof buffer);
}

void Report(const char* action, const std::string& object, const std::string& reason)
{
    Report(action, object, reason.c_str());
}

void Report(const char* action, const std::string& object, const char* reason) noexcept
{
    std::fprintf(stderr, "file: %s %s: %s\n", action, object.c_str(), reason);
}

void ReportError(const char* action, const std::string& object, int error) noexcept
{
    char buffer[128];
    Report(action, object, ::strerror_r(error, buffer, sizeof buffer));
}

void ReportNoMemory(const char* action) noexcept
{
    std::fprintf(stderr, "file: %s: out of memory\n", action);
}

void Tell(SystemError* cause, const char* action, const std::string& object, int error, const char* reason) noexcept
{
    if (cause == nullptr) {
        if (reason != nullptr)
            Report(action, object, reason);
        else
            ReportError(action, object, error);
        return;
    }
    try {
        if (reason != nullptr) {
            const auto kind = error == EWOULDBLOCK ? SystemError::Kind::Busy
                              : error == ENOENT    ? SystemError::Kind::NotFound
                                                   : SystemError::Kind::Other;
            SetErrorText(cause, kind, reason);
        } else {
            SetSystemError(cause, error);
        }
    } catch (const std::bad_alloc&) {
        cause->kind = SystemError::Kind::Other;
        cause->code = error;
        cause->text.clear();
    }
}

bool WriteAll(int fd, const char* data, std::size_t size, int* error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;  // nothing written and no reason: the device is full
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// A name beside near that nothing is likely to have: near with a random tail.
bool RandomNameBeside(const std::string& near, std::string* name)
{
    unsigned int random = 0;
    if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        return false;
    try {
        *name = near + ".new-" + std::to_string(random % 1000000000u);
    } catch (const std::exception&) {
        errno = ENOMEM;
        return false;
    }
    return true;
}

// Links the unnamed file behind fd to name; fails when name exists.
int LinkUnnamed(int fd, const std::string& name)
{
    // Through /proc any user may link the file; the direct way needs a
    // privilege and serves where /proc is not mounted.
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT)
        return -1;
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
}

}  // namespace

int CreateNewFile(const std::string& near, std::string* temporary)
{
    temporary->clear();
    // Locked from the start, so that a later save, which removes the new
    // files that ended saves left, knows this one is still being written.
    const int fd = ::open(DirectoryOf(near).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX | LOCK_NB);
        return fd;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fd;
    // The file system keeps no unnamed files: a named one, removed on failure.
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (!RandomNameBeside(near, temporary))
            return -1;
        const int named = ::open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (named >= 0) {
            ::flock(named, LOCK_EX | LOCK_NB);
            return named;
        }
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    temporary->clear();
    errno = error;
    return -1;
}

void RemoveLeftNewFiles(const std::string& target) noexcept
{
    const std::size_t slash = target.rfind('/');
    DIR* folder = nullptr;
    try {
        const std::string mark = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".new-";
        folder = ::opendir(DirectoryOf(target).c_str());
        if (folder == nullptr)
            return;
        const uid_t me = ::geteuid();
        while (const dirent* entry = ::readdir(folder)) {
            const std::string_view name = entry->d_name;
            const std::string_view tail = name.substr(std::min(name.size(), mark.size()));
            if (!name.starts_with(mark) || tail.empty() || tail.find_first_not_of("0123456789") != tail.npos)
                continue;
            const int fd = ::openat(::dirfd(folder), entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0)
                continue;
            struct stat held {};
            struct stat named {};
            // Only a regular file of this user that no save holds, and
            // still the one under that name.
            if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == me &&
                ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                ::fstatat(::dirfd(folder), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                named.st_dev == held.st_dev && named.st_ino == held.st_ino)
                ::unlinkat(::dirfd(folder), entry->d_name, 0);
            ::close(fd);
        }
    } catch (const std::bad_alloc&) {
        // They are removed at a later save.
    }
    if (folder != nullptr)
        ::closedir(folder);
}

bool PlaceNewFile(int fd, std::string* temporary, const std::string& target, bool replace, int* error)
{
    if (temporary->empty() && !replace) {
        if (LinkUnnamed(fd, target) == 0)
            return true;
        *error = errno;
        return false;
    }
    if (temporary->empty()) {
        // An unnamed file cannot replace a name: it gets a free name first.
        for (int attempt = 0;; ++attempt) {
            std::string name;
            if (!RandomNameBeside(target, &name)) {
                *error = errno;
                return false;
            }
            if (LinkUnnamed(fd, name) == 0) {
                *temporary = std::move(name);
                break;
            }
            if (errno != EEXIST || attempt == 15) {
                *error = errno;
                return false;
            }
        }
    }
    int result = 0;
    bool renamed = false;
    if (replace) {
        result = ::rename(temporary->c_str(), target.c_str());
        renamed = result == 0;
    } else {
        result = ::renameat2(AT_FDCWD, temporary->c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        renamed = result == 0;
        // A file system that cannot rename without replacing: a second name,
        // then the first one removed.
        if (result != 0 && errno == EINVAL)
            result = ::link(temporary->c_str(), target.c_str());
    }
    if (result != 0)
        *error = errno;
    if (!renamed)
        ::unlink(temporary->c_str());
    temporary->clear();
    return result == 0;
}

bool Flush(OpenFile* f)
{
    if (f->pending > 0 && !f->failed) {
        int error = 0;
        if (!WriteAll(f->fd, f->buffer.get(), f->pending, &error)) {
            f->failed = true;
            ReportError("write", f->name, error);
        }
    }
    f->pending = 0;
    return !f->failed;
}

}  // namespace file_posix

using namespace file_posix;

OpenFile::~OpenFile()
{
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    if (fd >= 0)
        ::close(fd);
}

namespace {

// A handle for an open descriptor of a regular file that could be locked
// (LOCK_SH or LOCK_EX) at once; otherwise the descriptor is closed, the
// cause told, and the result is null. Only regular files: a FIFO or a
// device could keep a reader waiting forever.
FileHandle AdoptRegularFile(int fd, int lock, std::string name, SystemError* cause = nullptr)
{
    struct stat st {};
    const char* reason = nullptr;
    int error = 0;
    if (::fstat(fd, &st) != 0)
        error = errno;
    else if (!S_ISREG(st.st_mode))
        reason = "not a regular file";
    else if (::flock(fd, lock | LOCK_NB) != 0)
        error = errno;
    if (error == EWOULDBLOCK)
        reason = "held by another program";
    if (reason != nullptr || error != 0) {
        ::close(fd);
        Tell(cause, "open", name, error, reason);
        return nullptr;
    }
    auto* f = new (std::nothrow) OpenFile;
    if (f == nullptr) {
        ::close(fd);
        Tell(cause, "open", name, ENOMEM);
        return nullptr;
    }
    f->fd = fd;
    f->name.swap(name);
    return f;
}

// Writes straight to the descriptor; the first failure is told.
bool WriteThrough(OpenFile* f, const void* data, std::size_t size)
{
    int error = 0;
    if (!WriteAll(f->fd, static_cast<const char*>(data), size, &error)) {
        if (!f->failed)
            ReportError("write", f->name, error);
        f->failed = true;
    }
    return !f->failed;
}

}  // namespace

namespace {

FileHandle OpenOrCreateSharedOrThrow(const char16_t* path)
{
    std::string name;
    if (!ToSystemPath(path, &name)) {
        Report("open", Printable(path), "no such file can be named");
        return nullptr;
    }
    // Opened, or made where nothing is, in one call, so that two programs
    // starting at the same moment both open the one file that either made.
    // That call follows no symbolic link: one that leads to a file is
    // opened after it, one that leads nowhere gets no file made at its end.
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    int error = fd < 0 ? errno : 0;
    if (error == ELOOP) {
        fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        error = fd < 0 ? errno : 0;
        if (error == ENOENT) {
            Report("create", name, "a symbolic link that leads nowhere is in its place");
            return nullptr;
        }
    }
    const char* action = error == ENOENT ? "create" : "open";  // a missing folder
    if (error == EACCES || error == EROFS) {
        // A file that may only be read, or no file in a folder that may
        // not be written.
        fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0 && errno == ENOENT)
            action = "create";
        else
            error = fd < 0 ? errno : 0;
    }
    if (fd < 0) {
        ReportError(action, name, error);
        return nullptr;
    }
    // A shared lock stands in for the sharing rules: it fails while a
    // document holds the file exclusively after saving it.
    return AdoptRegularFile(fd, LOCK_SH, std::move(name));
}

FileHandle OpenExclusiveForReadingOrThrow(const char16_t* path, SystemError* error)
{
    std::string name;
    if (!ToSystemPath(path, &name)) {
        Tell(error, "open", Printable(path), ENOENT, "no such file can be named");
        return nullptr;
    }
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        Tell(error, "open", name, errno);
        return nullptr;
    }
    return AdoptRegularFile(fd, LOCK_EX, std::move(name), error);
}

}  // namespace

// Memory may run out while a name or a message is built; no descriptor is
// open then (AdoptRegularFile takes it over without allocating).
FileHandle OpenOrCreateShared(const char16_t* path)
{
    try {
        return OpenOrCreateSharedOrThrow(path);
    } catch (const std::bad_alloc&) {
        ReportNoMemory("open");
        return nullptr;
    }
}

FileHandle OpenExclusiveForReading(const char16_t* path, SystemError* error)
{
    try {
        return OpenExclusiveForReadingOrThrow(path, error);
    } catch (const std::bad_alloc&) {
        Tell(error, "open", "(a file)", ENOMEM);
        return nullptr;
    }
}

bool GetFileSize(FileHandle f, std::uint64_t* size)
{
    struct stat st {};
    if (f == nullptr)
        return false;
    if (::fstat(f->fd, &st) != 0) {
        ReportError("size of", f->name, errno);
        return false;
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool RewindFile(FileHandle f)
{
    if (::lseek(f->fd, 0, SEEK_SET) == 0)
        return true;
    ReportError("read", f->name, errno);
    return false;
}

bool ReadSome(FileHandle f, char* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    ssize_t n = 0;
    do
        n = ::read(f->fd, buffer, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        Tell(error, "read", f->name, errno);
        return false;
    }
    *read = static_cast<std::size_t>(n);
    return true;
}

bool WriteFile(FileHandle f, const void* data, std::size_t size)
{
    if (f == nullptr || f->failed)
        return false;
    switch (f->committed ? OpenFile::Kind::Plain : f->kind) {
    case OpenFile::Kind::Plain:
        return WriteThrough(f, data, size);
    case OpenFile::Kind::InPlace:
        try {
            f->whole.append(static_cast<const char*>(data), size);
        } catch (const std::exception&) {
            Report("write", f->name, "out of memory for the new content");
            f->failed = true;
        }
        return !f->failed;
    case OpenFile::Kind::Unnamed:
    case OpenFile::Kind::Named:
        break;
    }
    if (f->pending + size > kWriteBuffer && !Flush(f))
        return false;
    if (f->buffer == nullptr || size >= kWriteBuffer)
        return WriteThrough(f, data, size);
    std::memcpy(f->buffer.get() + f->pending, data, size);
    f->pending += size;
    return true;
}

void CloseFile(FileHandle f)
{
    if (f == nullptr)
        return;
    // An uncommitted replacement is discarded: an unnamed file vanishes with
    // its descriptor, a named one is removed.
    if (::close(f->fd) != 0)
        ReportError("close", f->name, errno);
    f->fd = -1;
    delete f;
}

}  // namespace pyrrow::platform
