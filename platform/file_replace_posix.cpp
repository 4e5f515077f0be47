// Replacing a file safely: the new content goes to a new file that gets the
// old one's name only when it is complete and durable, and only files this
// user may change are replaced.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <string>

#include "platform/file_posix.h"

namespace pyrrow::platform {

using namespace file_posix;

namespace {

// Links nested deeper than this are a loop, as the kernel counts them.
constexpr int kMaxLinks = 40;

std::string Owner(uid_t uid)
{
    return "user " + std::to_string(uid);
}

// Finds the file that saving to name replaces. Symbolic links are followed
// only when the link and what it leads to belong to this user, the rule the
// kernel applies in sticky folders: a link planted by someone else must not
// make us overwrite their choice of file. A file that may not be written is
// not replaced either, whoever we are. On success *target is the file (or
// name itself when nothing is there yet) and *st its state when *exists.
bool FindTarget(const std::string& name, std::string* target, bool* exists, struct stat* st)
{
    const uid_t me = ::geteuid();
    std::string current = name;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        if (::lstat(current.c_str(), st) != 0) {
            const int error = errno;
            if (error == ENOENT && hop == 0) {
                *target = current;
                *exists = false;
                return true;
            }
            if (error == ENOENT)
                Report("save", name, "the symbolic link leads to " + current + ", which does not exist");
            else
                ReportError("save", current, error);
            return false;
        }
        if (S_ISLNK(st->st_mode)) {
            if (st->st_uid != me) {
                Report("save", name,
                       "the symbolic link " + current + " belongs to " + Owner(st->st_uid) + ", not to this " +
                           Owner(me) + "; it is not followed");
                return false;
            }
            char link[PATH_MAX];
            const ssize_t n = ::readlink(current.c_str(), link, sizeof link - 1);
            if (n < 0) {
                ReportError("save", current, errno);
                return false;
            }
            link[n] = 0;
            current = link[0] == '/' ? std::string(link) : DirectoryOf(current) + "/" + link;
            continue;
        }
        if (!S_ISREG(st->st_mode)) {
            Report("save", current, "not a regular file");
            return false;
        }
        if (hop > 0 && st->st_uid != me) {
            Report("save", name,
                   "the symbolic link leads to " + current + ", which belongs to " + Owner(st->st_uid) +
                       ", not to this " + Owner(me));
            return false;
        }
        if ((st->st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, current.c_str(), W_OK, AT_EACCESS) != 0) {
            Report("save", current, "the file is read-only; it is kept as it is");
            return false;
        }
        *target = current;
        *exists = true;
        return true;
    }
    ReportError("save", name, ELOOP);
    return false;
}

// The file itself, opened for writing over it, when it is still the one
// FindTarget saw.
int OpenInPlace(const std::string& target, const struct stat& seen)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
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

bool SyncFolderOf(const std::string& path) noexcept
{
    int dir = -1;
    try {
        dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (dir < 0)
        return false;
    const bool synced = ::fsync(dir) == 0;
    ::close(dir);
    return synced;
}

// Writes the held content over the file: it becomes the content and no
// more. Not in one step: an interrupted write leaves the file damaged.
bool WriteInPlace(OpenFile* f, int* error)
{
    if (::lseek(f->fd, 0, SEEK_SET) != 0) {
        *error = errno;
        return false;
    }
    if (!WriteAll(f->fd, f->whole.data(), f->whole.size(), error))
        return false;
    if (::ftruncate(f->fd, static_cast<off_t>(f->whole.size())) != 0 || ::fsync(f->fd) != 0) {
        *error = errno;
        return false;
    }
    return true;
}

// BeginReplacement but for memory running out, which throws; f then goes
// with its descriptor and temporary name.
bool StartReplacement(const char16_t* path, OpenFile* f)
{
    if (!ToSystemPath(path, &f->name)) {
        Report("save", Printable(path), "no such file can be named");
        return false;
    }
    struct stat st {};
    bool exists = false;
    if (!FindTarget(f->name, &f->target, &exists, &st))
        return false;

    RemoveLeftNewFiles(f->target);
    f->fd = CreateNewFile(f->target, &f->temporary);
    const int created = f->fd >= 0 ? 0 : errno;
    if (f->fd >= 0) {
        f->kind = f->temporary.empty() ? OpenFile::Kind::Unnamed : OpenFile::Kind::Named;
    } else if (exists && (created == EACCES || created == EPERM)) {
        // A file that may be written in a folder that may not: the file
        // itself is rewritten.
        f->fd = OpenInPlace(f->target, st);
        if (f->fd < 0) {
            ReportError("save", f->target, errno);
            return false;
        }
        f->kind = OpenFile::Kind::InPlace;
    } else {
        Report("save", f->name, "cannot create a new file in " + DirectoryOf(f->target) + ": " + ErrorText(created));
        return false;
    }

    int error = 0;
    if (exists && f->kind != OpenFile::Kind::InPlace && ::fchmod(f->fd, st.st_mode & 07777) != 0)
        error = errno;
    else if (::flock(f->fd, LOCK_EX | LOCK_NB) != 0)
        error = errno;
    if (error != 0) {
        if (error == EWOULDBLOCK)
            Report("save", f->name, "held by another program");
        else
            ReportError("save", f->name, error);
        return false;
    }
    if (f->kind != OpenFile::Kind::InPlace)
        f->buffer.reset(new (std::nothrow) char[kWriteBuffer]);
    return true;
}

}  // namespace

FileHandle BeginReplacement(const char16_t* path)
{
    std::unique_ptr<OpenFile> f(new (std::nothrow) OpenFile);
    if (f == nullptr) {
        ReportNoMemory("save");
        return nullptr;
    }
    try {
        if (StartReplacement(path, f.get()))
            return f.release();
    } catch (const std::bad_alloc&) {
        ReportNoMemory("save");
    }
    return nullptr;
}

bool CommitReplacement(FileHandle f, bool writeComplete)
{
    if (f == nullptr || f->kind == OpenFile::Kind::Plain || f->committed || f->fd < 0)
        return false;
    Flush(f);
    if (!f->failed && !writeComplete)
        Report("save", f->name, "the new content is incomplete; the file is kept as it was");
    bool written = !f->failed && writeComplete;
    if (written) {
        int error = 0;
        if (f->kind == OpenFile::Kind::InPlace) {
            written = WriteInPlace(f, &error);
        } else if (::fsync(f->fd) != 0) {
            error = errno;
            written = false;
        } else {
            written = PlaceNewFile(f->fd, &f->temporary, f->target, true, &error);
        }
        if (!written)
            ReportError("save", f->target, error);
    }
    if (!written) {
        f->failed = true;
        if (!f->temporary.empty())
            ::unlink(f->temporary.c_str());
        f->temporary.clear();
        return false;
    }
    f->committed = true;
    // Make the new name durable too; the content is already in place, so a
    // failure here is not a failed save.
    if (f->kind != OpenFile::Kind::InPlace)
        SyncFolderOf(f->target);
    return true;
}

}  // namespace pyrrow::platform
