// Pseudo-terminals through /dev/ptmx; the program's opening of the slave is
// seen through inotify, since the master reports a hang-up from the
// program's close until its next open. The io_context waits on the master
// and on the inotify descriptor, which it owns and closes.
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

#include "sim/descriptor_line.h"
#include "sim/pseudo_terminal.h"

namespace pyrrow::sim {
namespace {

// Makes link a symbolic link to target. An old symbolic link there is
// replaced; anything else is left alone and gives false with the reason.
bool MakeLink(const std::string& target, const std::string& link, platform::SystemError* error)
{
    struct stat s {};
    if (::lstat(link.c_str(), &s) == 0) {
        if (!S_ISLNK(s.st_mode)) {
            error->text = link + " exists and is no symbolic link; it is left alone";
            return false;
        }
        // Left behind by a simulator that was killed: a link to a pseudo-
        // terminal. Any other link is someone else's.
        char points[PATH_MAX] = {};
        const ssize_t n = ::readlink(link.c_str(), points, sizeof points - 1);
        if (n <= 0 || std::string(points, static_cast<std::size_t>(n)).rfind("/dev/pts/", 0) != 0) {
            error->text = link + " is a symbolic link that does not lead to a pseudo-terminal; it is left alone";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        *error = Failure("cannot make the link " + link);
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

class PseudoTerminal final : public DescriptorLine {
public:
    explicit PseudoTerminal(asio::io_context& io) : DescriptorLine(io), m_watch(io) {}
    ~PseudoTerminal() override
    {
        if (!m_link.empty())
            RemoveLink(m_link, m_where);
        if (m_held >= 0)
            ::close(m_held);
        // The master closes first, so that the program learns at once that
        // the port is gone: closing an inotify descriptor can take a while.
        std::error_code ignored;
        m_port.close(ignored);
    }

    bool Open(const std::string& link, platform::SystemError* error)
    {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master >= 0)
            m_port.assign(master);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
            *error = Failure("cannot make a pseudo-terminal (/dev/ptmx)");
            return false;
        }
        char name[PATH_MAX] = {};
        if (::ptsname_r(master, name, sizeof name) != 0) {
            *error = Failure("ptsname");
            return false;
        }
        m_where = name;
        // The line settings of the master are those of the slave: a device
        // sends and takes raw bytes.
        termios t{};
        if (::tcgetattr(master, &t) != 0) {
            *error = Failure("tcgetattr on the pseudo-terminal");
            return false;
        }
        ::cfmakeraw(&t);
        if (::tcsetattr(master, TCSANOW, &t) != 0) {
            *error = Failure("tcsetattr on the pseudo-terminal");
            return false;
        }
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch >= 0)
            m_watch.assign(watch);
        if (watch < 0 || ::inotify_add_watch(watch, name, IN_OPEN) < 0) {
            *error = Failure("cannot watch the pseudo-terminal for opens (inotify)");
            return false;
        }
        if (!link.empty()) {
            if (!MakeLink(m_where, link, error))
                return false;
            m_link = link;
        }
        return true;
    }

    long Read(void* buffer, std::size_t size, platform::SystemError* error) override
    {
        const ssize_t n = ::read(m_port.native_handle(), buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        // EIO: the program has closed the port and everything it wrote was read.
        if (errno != EIO)
            *error = Failure("reading " + m_where);
        return -1;
    }

    bool ShowsOpens() const override { return true; }

    void WatchOpens(std::function<void()> opened) override
    {
        m_watch.async_wait(asio::posix::descriptor_base::wait_read,
                           WhileAlive(m_alive, [this, opened = std::move(opened)](const std::error_code& failed) {
                               if (failed)
                                   return;
                               alignas(inotify_event) char events[4096];
                               while (::read(m_watch.native_handle(), events, sizeof events) > 0) {
                               }
                               WatchOpens(opened);
                               opened();
                           }));
    }

    bool Hold(platform::SystemError* error) override
    {
        m_held = ::open(m_where.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_held < 0 || ::flock(m_held, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_held, TIOCEXCL) != 0) {
            *error = Failure("cannot hold " + m_where);
            return false;
        }
        return true;
    }

private:
    asio::posix::stream_descriptor m_watch;  // inotify: the program opened the slave
    int m_held = -1;
    std::string m_link;
};

}  // namespace

std::unique_ptr<SerialLine> OpenPseudoTerminal(asio::io_context& io, const std::string& link,
                                               platform::SystemError* error)
{
    auto pty = std::make_unique<PseudoTerminal>(io);
    if (!pty->Open(link, error))
        return nullptr;
    return pty;
}

}  // namespace pyrrow::sim
