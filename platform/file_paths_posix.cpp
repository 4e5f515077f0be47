// Files by their names: whether this user may write there, a file's size,
// making folders, copying a file to a new name and moving a file aside.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_posix.h"
#include "platform/utf.h"

namespace pyrrow::platform {

using namespace file_posix;

namespace {

// Names tried when moving a file aside, before giving up.
constexpr int kAsideNames = 1000;

}  // namespace

std::size_t LastPathSeparator(const std::u16string& path)
{
    return path.rfind(u'/');
}

char16_t PathSeparator()
{
    return u'/';
}

std::string PathUnfitForFiles(const std::u16string& path)
{
    return Utf16ToUtf8(path) ? std::string() : std::string("is not valid UTF-8");
}

bool CanWrite(const char16_t* path)
{
    std::string name;
    struct stat st {};
    if (!ToSystemPath(path, &name) || ::stat(name.c_str(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return ::faccessat(AT_FDCWD, name.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
           ::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0;
}

bool GetRegularFileSize(const char16_t* path, std::uint64_t* size)
{
    std::string name;
    struct stat st {};
    if (!ToSystemPath(path, &name) || ::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    *size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool CreateFolders(const char16_t* path)
{
    std::string name;
    if (!ToSystemPath(path, &name)) {
        Report("create folder", Printable(path), "no such folder can be named");
        return false;
    }
    for (std::size_t end = name.find('/', 1);; end = name.find('/', end + 1)) {
        const std::string part = name.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            ReportError("create folder", part, errno);
            return false;
        }
        if (end == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Report("create folder", name, "something else is in its place");
        return false;
    }
    return true;
}

bool CopyToNewFile(const char16_t* from, const char16_t* to)
{
    std::string source;
    std::string target;
    if (!ToSystemPath(from, &source) || !ToSystemPath(to, &target)) {
        Report("copy", Printable(from), "no such file can be named");
        return false;
    }
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        ReportError("copy", source, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        ReportError("copy", source, errno);
        ::close(in);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Report("copy", source, "not a regular file");
        ::close(in);
        return false;
    }
    std::string temporary;
    const int out = CreateNewFile(target, &temporary);
    if (out < 0) {
        Report("copy", source, "cannot create a new file in " + DirectoryOf(target) + ": " + ErrorText(errno));
        ::close(in);
        return false;
    }
    bool copied = true;
    int error = 0;
    char block[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(in, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ReportError("copy", source, errno);
            copied = false;
            break;
        }
        if (n == 0)
            break;
        if (!WriteAll(out, block, static_cast<std::size_t>(n), &error)) {
            ReportError("copy", target, error);
            copied = false;
            break;
        }
    }
    if (copied && ::fsync(out) != 0) {
        ReportError("copy", target, errno);
        copied = false;
    }
    if (copied && !PlaceNewFile(out, &temporary, target, false, &error)) {
        ReportError("copy", target, error);
        copied = false;
    }
    if (!temporary.empty())
        ::unlink(temporary.c_str());
    ::close(out);
    ::close(in);
    return copied;
}

bool MoveAside(const char16_t* path, const char16_t* suffix, std::u16string* movedTo)
{
    std::string name;
    std::string tail;
    if (!ToSystemPath(path, &name) || !ToSystemPath(suffix, &tail)) {
        Report("move aside", Printable(path), "no such file can be named");
        return false;
    }
    // A file that another program holds stays where it is: it is in use,
    // not damaged.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (held) {
            Report("move aside", name, "held by another program");
            return false;
        }
    }
    // Never replaces anything, and renames a symbolic link itself: what it
    // leads to stays as it is.
    for (int n = 0; n < kAsideNames; ++n) {
        std::string aside = name + tail;
        if (n > 0)
            aside.append(".").append(std::to_string(n));
        int result = ::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // A file system that cannot rename without replacing: a second
            // name (a link's own, never its target's), then the first removed.
            result = ::link(name.c_str(), aside.c_str());
            if (result == 0 && ::unlink(name.c_str()) != 0) {
                const int error = errno;
                ::unlink(aside.c_str());
                ReportError("move aside", name, error);
                return false;
            }
        }
        if (result == 0) {
            // Moved all the same where its new name cannot be told.
            *movedTo = Utf8ToUtf16(aside).value_or(std::u16string());
            return true;
        }
        if (errno != EEXIST) {
            ReportError("move aside", name, errno);
            return false;
        }
    }
    const std::string first = name + tail;
    Report("move aside", name, "every name from " + first + " to " + first + "." + std::to_string(kAsideNames - 1) +
                                   " is taken");
    return false;
}

}  // namespace pyrrow::platform
