// Files by their names: whether this user may write there, making folders
// and moving a file aside; the separators and which names can be files.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/files/named_file.h"
#include "platform/utf.h"

namespace pyrrow::platform {

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

bool CanWrite(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    if (S_ISDIR(st.st_mode))
        return ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool CreateFolders(const std::string& path, SystemError* error)
{
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            SetSystemError(error, errno, part);
            return false;
        }
        if (end == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetErrorText(error, SystemError::Kind::Exists, "something else is in its place");
        return false;
    }
    return true;
}

bool MoveAside(const std::string& path, const std::string& suffix, std::string* movedTo, SystemError* error)
{
    // A file that another program holds stays where it is: it is in use,
    // not damaged.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        if (held) {
            SetErrorText(error, SystemError::Kind::Busy, "held by another program");
            return false;
        }
    }
    // Never replaces anything, and renames a symbolic link itself: what it
    // leads to stays as it is.
    for (int n = 0; n < kAsideNames; ++n) {
        std::string aside = path + suffix;
        if (n > 0)
            aside.append(".").append(std::to_string(n));
        int result = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // A file system that cannot rename without replacing: a second
            // name (a link's own, never its target's), then the first removed.
            result = ::link(path.c_str(), aside.c_str());
            if (result == 0 && ::unlink(path.c_str()) != 0) {
                const int code = errno;
                ::unlink(aside.c_str());
                SetSystemError(error, code);
                return false;
            }
        }
        if (result == 0) {
            *movedTo = std::move(aside);
            return true;
        }
        if (errno != EEXIST) {
            SetSystemError(error, errno);
            return false;
        }
    }
    const std::string first = path + suffix;
    SetErrorText(error, SystemError::Kind::Exists,
                 "every name from " + first + " to " + first + "." + std::to_string(kAsideNames - 1) + " is taken");
    return false;
}

}  // namespace pyrrow::platform
