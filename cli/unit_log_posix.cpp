#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "cli/unit_log.h"

namespace pyrrow::cli {
namespace {

std::string Problem(const char* what, const std::string& path, int error)
{
    return std::string("--log: cannot ") + what + " " + path + ": " + std::strerror(error);
}

}  // namespace

std::string HostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::intptr_t UnitLog::OpenFile(const std::string& path, std::string* problem) const
{
    // Without waiting: a FIFO with no reader is refused at once (ENXIO)
    // rather than holding the station before its first unit.
    const std::string notAFile = "--log: " + path + " is not a regular file on a disk";
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd < 0) {
        const int error = errno;
        *problem = error == ENXIO ? notAFile : Problem("open", path, error);
        return kNoFile;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        ::close(fd);
        *problem = S_ISREG(st.st_mode) || error != 0 ? Problem("look at", path, error) : notAFile;
        return kNoFile;
    }
    // Lines are only ever added; a file that is not such a log (the
    // firmware given by mistake, a trace, JSON of another kind) is left as
    // it is.
    *problem = KeptFileProblem(
        path, {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true}, m_keep);
    off_t offset = 0;
    if (problem->empty())
        *problem = LogContentProblem(path, [fd, &offset](char* buffer, std::size_t size, std::string* reason) {
            for (;;) {
                const ssize_t n = ::pread(fd, buffer, size, offset);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    *reason = std::strerror(errno);
                else
                    offset += n;
                return static_cast<std::ptrdiff_t>(n);
            }
        });
    if (!problem->empty()) {
        ::close(fd);
        return kNoFile;
    }
    return fd;
}

bool UnitLog::PathNamesFile() const
{
    struct stat named {};
    struct stat open {};
    return ::stat(m_path.c_str(), &named) == 0 && ::fstat(static_cast<int>(m_file), &open) == 0 &&
           named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

void UnitLog::CloseFile(std::intptr_t file)
{
    ::close(static_cast<int>(file));
}

bool UnitLog::Write(const std::string& line, std::string* problem)
{
    const int fd = static_cast<int>(m_file);
    struct stat before {};
    if (::fstat(fd, &before) != 0) {
        *problem = Problem("look at", m_path, errno);
        return false;
    }
    const std::string text = line + "\n";
    std::size_t written = 0;
    int error = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    const char* what = "write to";
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
        what = "sync";
    }
    if (error == 0)
        return true;
    // A piece of a line would spoil every reader of the file.
    if (written > 0 && ::ftruncate(fd, before.st_size) != 0)
        *problem = Problem(what, m_path, error) + " (and a piece of the record may be left at its end)";
    else
        *problem = Problem(what, m_path, error);
    return false;
}

}  // namespace pyrrow::cli
