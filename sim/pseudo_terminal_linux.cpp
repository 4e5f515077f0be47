// Pseudo-terminals through /dev/ptmx; the program's opening of the slave is
// seen through inotify, since the master reports a hang-up from the
// program's close until its next open.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "sim/pseudo_terminal.h"

namespace pyrrow::sim {
namespace {

std::string Reason(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open(std::string* error)
{
    std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal);
    pty->m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty->m_master < 0 || ::grantpt(pty->m_master) != 0 || ::unlockpt(pty->m_master) != 0) {
        *error = Reason("cannot make a pseudo-terminal (/dev/ptmx)");
        return nullptr;
    }
    char name[PATH_MAX] = {};
    if (::ptsname_r(pty->m_master, name, sizeof name) != 0) {
        *error = Reason("ptsname");
        return nullptr;
    }
    pty->m_path = name;
    // The line settings of the master are those of the slave: a device
    // sends and takes raw bytes.
    termios t{};
    if (::tcgetattr(pty->m_master, &t) != 0) {
        *error = Reason("tcgetattr on the pseudo-terminal");
        return nullptr;
    }
    ::cfmakeraw(&t);
    if (::tcsetattr(pty->m_master, TCSANOW, &t) != 0) {
        *error = Reason("tcsetattr on the pseudo-terminal");
        return nullptr;
    }
    pty->m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (pty->m_watch < 0 || ::inotify_add_watch(pty->m_watch, name, IN_OPEN) < 0) {
        *error = Reason("cannot watch the pseudo-terminal for opens (inotify)");
        return nullptr;
    }
    return pty;
}

PseudoTerminal::~PseudoTerminal()
{
    HangUp();
}

void PseudoTerminal::TakeOpens()
{
    alignas(inotify_event) char events[4096];
    while (::read(m_watch, events, sizeof events) > 0) {
    }
}

long PseudoTerminal::Read(void* buffer, std::size_t size)
{
    return static_cast<long>(::read(m_master, buffer, size));
}

bool PseudoTerminal::Write(const void* data, std::size_t size)
{
    return ::write(m_master, data, size) == static_cast<ssize_t>(size);
}

bool PseudoTerminal::Hold(std::string* error)
{
    m_held = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_held < 0 || ::flock(m_held, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_held, TIOCEXCL) != 0) {
        *error = Reason(("cannot hold " + m_path).c_str());
        return false;
    }
    return true;
}

void PseudoTerminal::HangUp()
{
    for (int* fd : {&m_held, &m_master, &m_watch}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool MakeLink(const std::string& target, const std::string& link, std::string* error)
{
    struct stat s {};
    if (::lstat(link.c_str(), &s) == 0) {
        if (!S_ISLNK(s.st_mode)) {
            *error = link + " exists and is no symbolic link; it is left alone";
            return false;
        }
        // Left behind by a simulator that was killed: a link to a pseudo-
        // terminal. Any other link is someone else's.
        char points[PATH_MAX] = {};
        const ssize_t n = ::readlink(link.c_str(), points, sizeof points - 1);
        if (n <= 0 || std::string(points, static_cast<std::size_t>(n)).rfind("/dev/pts/", 0) != 0) {
            *error = link + " is a symbolic link that does not lead to a pseudo-terminal; it is left alone";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        *error = Reason(("cannot make the link " + link).c_str());
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link, const std::string& target)
{
    char points[PATH_MAX] = {};
    const ssize_t n = ::readlink(link.c_str(), points, sizeof points - 1);
    if (n > 0 && target == std::string(points, static_cast<std::size_t>(n)))
        ::unlink(link.c_str());
}

}  // namespace pyrrow::sim
