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

// Makes link a symbolic link to target. An old symbolic link there is
// replaced; anything else is left alone and gives false with the reason.
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

// Removes link if it still points to target.
void RemoveLink(const std::string& link, const std::string& target)
{
    char points[PATH_MAX] = {};
    const ssize_t n = ::readlink(link.c_str(), points, sizeof points - 1);
    if (n > 0 && target == std::string(points, static_cast<std::size_t>(n)))
        ::unlink(link.c_str());
}

class PseudoTerminal final : public SerialLine {
public:
    ~PseudoTerminal() override
    {
        if (!m_link.empty())
            RemoveLink(m_link, m_path);
        for (int fd : {m_held, m_master, m_watch})
            if (fd >= 0)
                ::close(fd);
    }

    bool Open(const std::string& link, std::string* error)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            *error = Reason("cannot make a pseudo-terminal (/dev/ptmx)");
            return false;
        }
        char name[PATH_MAX] = {};
        if (::ptsname_r(m_master, name, sizeof name) != 0) {
            *error = Reason("ptsname");
            return false;
        }
        m_path = name;
        // The line settings of the master are those of the slave: a device
        // sends and takes raw bytes.
        termios t{};
        if (::tcgetattr(m_master, &t) != 0) {
            *error = Reason("tcgetattr on the pseudo-terminal");
            return false;
        }
        ::cfmakeraw(&t);
        if (::tcsetattr(m_master, TCSANOW, &t) != 0) {
            *error = Reason("tcsetattr on the pseudo-terminal");
            return false;
        }
        m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_watch < 0 || ::inotify_add_watch(m_watch, name, IN_OPEN) < 0) {
            *error = Reason("cannot watch the pseudo-terminal for opens (inotify)");
            return false;
        }
        if (!link.empty()) {
            if (!MakeLink(m_path, link, error))
                return false;
            m_link = link;
        }
        return true;
    }

    const std::string& Where() const override { return m_path; }
    int Fd() const override { return m_master; }

    long Read(void* buffer, std::size_t size, std::string* error) override
    {
        const ssize_t n = ::read(m_master, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        // EIO: the program has closed the port and everything it wrote was read.
        if (errno != EIO)
            *error = Reason(("reading " + m_path).c_str());
        return -1;
    }

    bool Write(const void* data, std::size_t size, std::string* error) override
    {
        if (::write(m_master, data, size) == static_cast<ssize_t>(size))
            return true;
        *error = Reason(("writing " + m_path).c_str());
        return false;
    }

    int OpenWatchFd() const override { return m_watch; }

    void TakeOpens() override
    {
        alignas(inotify_event) char events[4096];
        while (::read(m_watch, events, sizeof events) > 0) {
        }
    }

    bool Hold(std::string* error) override
    {
        m_held = ::open(m_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_held < 0 || ::flock(m_held, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_held, TIOCEXCL) != 0) {
            *error = Reason(("cannot hold " + m_path).c_str());
            return false;
        }
        return true;
    }

private:
    int m_master = -1;
    int m_watch = -1;
    int m_held = -1;
    std::string m_path;
    std::string m_link;
};

}  // namespace

std::unique_ptr<SerialLine> OpenPseudoTerminal(const std::string& link, std::string* error)
{
    auto pty = std::make_unique<PseudoTerminal>();
    if (!pty->Open(link, error))
        return nullptr;
    return pty;
}

}  // namespace pyrrow::sim
