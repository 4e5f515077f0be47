// Replacing a file safely, and copying one to a new name: the new content
// goes to a new file that gets its name only when it is complete and
// durable, and only files this user may change are replaced.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/files/named_file.h"

namespace pyrrow::platform {
namespace {

// Links nested deeper than this are a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

// Fails with the step, the file and the reason (the system's words for
// code when none is given) in error's text.
bool Fail(SystemError* error, const char* step, const std::string& object, int code, const std::string& reason = {})
{
    SetSystemError(error, code);
    if (error != nullptr)
        error->text = std::string(step) + " " + object + ": " + (reason.empty() ? SystemErrorWords(code) : reason);
    return false;
}

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Owner(uid_t uid)
{
    return "user " + std::to_string(uid);
}

// A name beside near that nothing is likely to have: near with a random tail.
bool RandomNameBeside(const std::string& near, std::string* name)
{
    unsigned int random = 0;
    if (::getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        return false;
    *name = near + ".new-" + std::to_string(random % 1000000000u);
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

// A new file's descriptor and its temporary name, if it has one: both go
// when this does, unless the file was put in place or handed on.
struct NewFile {
    int fd = -1;
    std::string temporary;
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile()
    {
        if (!temporary.empty())
            ::unlink(temporary.c_str());
        if (fd >= 0)
            ::close(fd);
    }
};

// A new, empty file for writing in the folder of near, that no other name
// reaches: without a name where the file system allows (it vanishes with
// the descriptor, whatever ends the program), otherwise under a free name
// beside near. False with errno set on failure.
bool CreateNewFile(const std::string& near, NewFile* file)
{
    // Locked from the start, so that a later save, which removes the new
    // files that ended saves left, knows this one is still being written.
    file->fd = ::open(DirectoryOf(near).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (file->fd >= 0) {
        ::flock(file->fd, LOCK_EX | LOCK_NB);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return false;
    // The file system keeps no unnamed files: a named one, removed on failure.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name;
        if (!RandomNameBeside(near, &name))
            return false;
        file->fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (file->fd >= 0) {
            file->temporary = std::move(name);
            ::flock(file->fd, LOCK_EX | LOCK_NB);
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    return false;
}

// Removes the new files that saves to target left when they were ended at
// their commit (target + ".new-" + digits): those of this user that no save
// holds; each save holds its new file locked from its creation on.
void RemoveLeftNewFiles(const std::string& target)
{
    const std::size_t slash = target.rfind('/');
    const std::string mark = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".new-";
    DIR* folder = ::opendir(DirectoryOf(target).c_str());
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
        // Only a regular file of this user that no save holds, and still
        // the one under that name.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == me &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(::dirfd(folder), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(folder);
}

// Gives the complete new file its name: it replaces target in one step
// (replace true) or takes the name only when nothing is there (false). The
// temporary name, if any, is gone afterwards whatever the outcome. False
// with errno set on failure.
bool PlaceNewFile(NewFile* file, const std::string& target, bool replace)
{
    if (file->temporary.empty() && !replace)
        return LinkUnnamed(file->fd, target) == 0;
    if (file->temporary.empty()) {
        // An unnamed file cannot replace a name: it gets a free name first.
        for (int attempt = 0;; ++attempt) {
            std::string name;
            if (!RandomNameBeside(target, &name))
                return false;
            if (LinkUnnamed(file->fd, name) == 0) {
                file->temporary = std::move(name);
                break;
            }
            if (errno != EEXIST || attempt == 15)
                return false;
        }
    }
    int result = 0;
    if (replace) {
        result = ::rename(file->temporary.c_str(), target.c_str());
    } else {
        result = ::renameat2(AT_FDCWD, file->temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        // A file system that cannot rename without replacing: a second name,
        // then the first one removed (by NewFile).
        if (result != 0 && errno == EINVAL)
            return ::link(file->temporary.c_str(), target.c_str()) == 0;
    }
    if (result == 0)
        file->temporary.clear();
    return result == 0;
}

// Finds the file that saving to name replaces. Symbolic links are followed
// only when the link and what it leads to belong to this user, the rule the
// kernel applies in sticky folders: a link planted by someone else must not
// make us overwrite their choice of file. A file that may not be written is
// not replaced either, whoever we are. On success *target is the file (or
// name itself when nothing is there yet) and *st its state when *exists.
bool FindTarget(const std::string& name, std::string* target, bool* exists, struct stat* st, SystemError* error)
{
    const uid_t me = ::geteuid();
    std::string current = name;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        if (::lstat(current.c_str(), st) != 0) {
            const int code = errno;
            if (code == ENOENT && hop == 0) {
                *target = current;
                *exists = false;
                return true;
            }
            if (code == ENOENT)
                return Fail(error, "save", name, code, "the symbolic link leads to " + current + ", which does not exist");
            return Fail(error, "save", current, code);
        }
        if (S_ISLNK(st->st_mode)) {
            if (st->st_uid != me)
                return Fail(error, "save", name, EACCES,
                            "the symbolic link " + current + " belongs to " + Owner(st->st_uid) + ", not to this " +
                                Owner(me) + "; it is not followed");
            char link[PATH_MAX];
            const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
            if (n < 0)
                return Fail(error, "save", current, errno);
            link[n] = 0;
            current = link[0] == '/' ? std::string(link) : DirectoryOf(current) + "/" + link;
            continue;
        }
        if (!S_ISREG(st->st_mode))
            return Fail(error, "save", current, 0, "not a regular file");
        if (hop > 0 && st->st_uid != me)
            return Fail(error, "save", name, EACCES,
                        "the symbolic link leads to " + current + ", which belongs to " + Owner(st->st_uid) +
                            ", not to this " + Owner(me));
        if ((st->st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, current.c_str(), W_OK, AT_EACCESS) != 0)
            return Fail(error, "save", current, EACCES, "the file is read-only; it is kept as it is");
        *target = current;
        *exists = true;
        return true;
    }
    return Fail(error, "save", name, ELOOP);
}

// The file itself, opened for writing over it, when it is still the one
// FindTarget saw.
int OpenInPlace(const std::string& target, const struct stat& seen)
{
    const int fd = ::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_dev != seen.st_dev || st.st_ino != seen.st_ino) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

void SyncFolder(const std::string& folder)
{
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    ::fsync(dir);
    ::close(dir);
}

}  // namespace

bool NamedFile::Replace(const std::string& name, std::string_view content, SystemError* error)
{
    struct stat st {};
    bool exists = false;
    std::string target;
    if (!FindTarget(name, &target, &exists, &st, error))
        return false;

    RemoveLeftNewFiles(target);
    NewFile file;
    const bool created = CreateNewFile(target, &file);
    const int createError = created ? 0 : errno;
    const bool inPlace = !created && exists && (createError == EACCES || createError == EPERM);
    if (inPlace) {
        // A file that may be written in a folder that may not: the file
        // itself is rewritten.
        if ((file.fd = OpenInPlace(target, st)) < 0)
            return Fail(error, "save", target, errno);
    } else if (!created) {
        return Fail(error, "save", name, createError,
                    "cannot create a new file in " + DirectoryOf(target) + ": " + SystemErrorWords(createError));
    }

    int code = 0;
    if (exists && !inPlace && ::fchmod(file.fd, st.st_mode & 07777) != 0)
        code = errno;
    else if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0)
        code = errno;
    if (code != 0)
        return Fail(error, "save", name, code, code == EWOULDBLOCK ? "held by another program" : "");

    SystemError cause;
    if (inPlace) {
        // Not in one step: an interrupted write leaves the file damaged.
        if (::lseek(file.fd, 0, SEEK_SET) != 0 || !WriteAll(file.fd, content.data(), content.size(), &cause) ||
            ::ftruncate(file.fd, static_cast<off_t>(content.size())) != 0 || ::fsync(file.fd) != 0)
            return Fail(error, "save", target, cause.code != 0 ? cause.code : errno);
    } else {
        if (!WriteAll(file.fd, content.data(), content.size(), &cause))
            return Fail(error, "write", name, cause.code);
        // Nothing that could throw comes after the file is in place.
        const std::string folder = DirectoryOf(target);
        if (::fsync(file.fd) != 0 || !PlaceNewFile(&file, target, true))
            return Fail(error, "save", target, errno);
        // Make the new name durable too; the content is already in place,
        // so a failure here is not a failed save.
        SyncFolder(folder);
    }
    // The new file stays held (locked) by this object until Close.
    Close(nullptr);
    m_handle = std::exchange(file.fd, -1);
    m_append = false;
    return true;
}

bool CopyToNewFile(const std::string& from, const std::string& to, SystemError* error)
{
    NamedFile source;
    FileFacts facts;
    if (!source.Open(from, NamedFile::Access::Read, error) || !source.Facts(&facts, error))
        return false;
    if (!facts.Regular()) {
        SetErrorText(error, SystemError::Kind::NotAFile, "not a regular file");
        return false;
    }
    NewFile file;
    if (!CreateNewFile(to, &file)) {
        const int code = errno;
        SetSystemError(error, code);
        if (error != nullptr)
            error->text = "cannot create a new file in " + DirectoryOf(to) + ": " + error->text;
        return false;
    }
    char block[16 * 1024];
    std::size_t n = 0;
    do {
        if (!source.Read(block, sizeof block, &n, error) || !NamedFile::WriteAll(file.fd, block, n, error))
            return false;
    } while (n > 0);
    if (::fsync(file.fd) != 0 || !PlaceNewFile(&file, to, false)) {
        SetSystemError(error, errno);
        return false;
    }
    return true;
}

}  // namespace pyrrow::platform
