// Pseudo-terminals through /dev/ptmx; the program's openings of the slave,
// its closes and writes are seen through inotify, since the master reports
// a hang-up from the program's close until its next open, and nothing when
// the next open comes first. The io_context waits on the master and on the
// inotify descriptor, which it owns and closes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>

#include <asio/post.hpp>

#include "sim/lines/descriptor_line.h"
#include "sim/lines/pseudo_terminal.h"
#include "upload/protocol.h"

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
    if (::symlink(target.c_str(), link.c_str()) != 0)
        return Fail(error, "cannot make the link " + link);
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
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return Fail(error, "cannot make a pseudo-terminal (/dev/ptmx)");
        char name[PATH_MAX] = {};
        if (::ptsname_r(master, name, sizeof name) != 0)
            return Fail(error, "ptsname");
        m_where = name;
        // The line settings of the master are those of the slave: a device
        // sends and takes raw bytes.
        termios t{};
        if (::tcgetattr(master, &t) != 0)
            return Fail(error, "tcgetattr on the pseudo-terminal");
        ::cfmakeraw(&t);
        if (::tcsetattr(master, TCSANOW, &t) != 0)
            return Fail(error, "tcsetattr on the pseudo-terminal");
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch >= 0)
            m_watch.assign(watch);
        if (watch < 0 || ::inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE | IN_MODIFY) < 0)
            return Fail(error, "cannot watch the pseudo-terminal for opens (inotify)");
        if (!link.empty()) {
            if (!MakeLink(m_where, link, error))
                return false;
            m_link = link;
        }
        return true;
    }

    void AwaitBytes(std::function<void()> ready) override
    {
        if (!m_ends.empty() || m_known > 0) {
            asio::post(m_port.get_executor(), WhileAlive(m_alive, std::move(ready)));
            return;
        }
        // Closed, all read: the master reports a hang-up until the next
        // open, which only the watch shows.
        auto& waitOn = m_hungUp ? m_watch : m_port;
        waitOn.async_wait(asio::posix::descriptor_base::wait_read,
                          WhileAlive(m_alive, [ready = std::move(ready)](const std::error_code&) { ready(); }));
    }

    long Read(void* buffer, std::size_t size, platform::SystemError* error) override
    {
        Look(size);
        if (!m_ends.empty() && m_ends.front().at == 0) {
            // An opening ended here: the program closed the port (or the
            // line failed).
            if (!m_ends.front().failure.text.empty())
                *error = m_ends.front().failure;
            m_ends.pop_front();
            return -1;
        }
        const std::size_t n = std::min(size, m_ends.empty() ? m_known : m_ends.front().at);
        std::memcpy(buffer, m_queue.data(), n);
        m_queue.erase(0, n);
        m_known -= n;
        for (End& end : m_ends)
            end.at -= n;
        return static_cast<long>(n);
    }

    bool ShowsOpens() const override { return true; }

    bool Hold(platform::SystemError* error) override
    {
        m_held = ::open(m_where.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_held < 0 || ::flock(m_held, LOCK_EX | LOCK_NB) != 0 || ::ioctl(m_held, TIOCEXCL) != 0)
            return Fail(error, "cannot hold " + m_where);
        return true;
    }

private:
    enum class Master { Read, Empty, HungUp, Failed };

    // Which opening of the slave the bytes belong to. The master's bytes
    // carry no sign of where one opening's end and the next one's start: a
    // program that closes the port and opens it again at once, before the
    // bytes it wrote were read, never lets the master report the close. The
    // watch tells the openings, closes and writes in their order; the
    // bytes are read in between, so that those read while no new opening
    // was known are the old one's. When one was (its open came between a
    // look at the watch and the read), its bytes are the last ones read: the
    // header, since a program writes nothing more until it is answered.
    void Look(std::size_t wanted)
    {
        TakeEvents();
        if (m_hungUp)
            return;  // nothing to read until the next opening
        for (;;) {
            const bool closing = m_closed;
            // Once the program closed, all it wrote is read: what comes next
            // is the next opening's. Otherwise no more than is wanted, so
            // that a line rate holds the program back as a UART would.
            const std::size_t held = m_queue.size();
            const Master read = ReadMaster(closing ? SIZE_MAX : wanted > held ? wanted - held : 0);
            if (read == Master::HungUp || read == Master::Failed) {
                // Closed at that read, and all written before it was read
                // (or the line failed).
                EndOpening();
                TakeEvents();  // an opening since is the next one
                return;
            }
            TakeEvents();
            if (m_reopened) {
                Resolve();
                return;
            }
            m_known = m_queue.size();
            if (!m_closed)
                return;
            if (closing) {
                // Read to the end after the close, and the slave is open
                // again (or it would have hung up) with its open not yet
                // reported: nothing of the new opening can have come.
                m_ends.push_back({m_queue.size(), {}});
                m_closed = false;
                return;
            }
        }
    }

    // A new opening was seen after a close: the bytes not yet known are the
    // old opening's, then the new one's header when it wrote.
    void Resolve()
    {
        // All the new opening wrote is read before the split.
        Master read = Master::Empty;
        do
            read = ReadMaster(SIZE_MAX);
        while (read == Master::Read || (read == Master::Empty && TakeEvents()));
        const std::size_t unknown = m_queue.size() - m_known;
        const std::size_t fresh = m_reopenedWrote ? std::min(unknown, protocol::kHeaderSize) : 0;
        m_ends.push_back({m_queue.size() - fresh, {}});
        m_known = m_queue.size();
        m_reopened = m_reopenedWrote = false;
        m_closed = m_opens == 0;  // the new opening may have closed already
        if (read != Master::Empty)
            EndOpening();  // and the new opening closed already
    }

    // The opening whose bytes were all read has ended.
    void EndOpening()
    {
        m_known = m_queue.size();
        if (m_ends.empty() || m_ends.back().at != m_queue.size() || !m_failure.text.empty())
            m_ends.push_back({m_queue.size(), std::exchange(m_failure, {})});
        m_hungUp = true;
        m_closed = m_reopened = m_reopenedWrote = false;
    }

    Master ReadMaster(std::size_t limit)
    {
        Master result = Master::Empty;
        char buffer[4096];
        while (limit > 0) {
            const ssize_t n = ::read(m_port.native_handle(), buffer, std::min(limit, sizeof buffer));
            if (n > 0) {
                m_queue.append(buffer, static_cast<std::size_t>(n));
                limit -= static_cast<std::size_t>(n);
                result = Master::Read;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return result;
            // EIO: no opening of the slave, and everything written was read.
            if (n == 0 || errno == EIO)
                return Master::HungUp;
            m_failure = Failure("reading " + m_where);
            return Master::Failed;
        }
        return result;
    }

    // Takes what the watch reported; true when the new opening wrote.
    bool TakeEvents()
    {
        bool wrote = false;
        alignas(inotify_event) char events[4096];
        ssize_t n = 0;
        while ((n = ::read(m_watch.native_handle(), events, sizeof events)) > 0) {
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
                inotify_event event{};
                std::memcpy(&event, events + at, sizeof event);
                at += static_cast<ssize_t>(sizeof event + event.len);
                if ((event.mask & IN_OPEN) != 0) {
                    if (m_opens == 0 && m_closed) {
                        m_reopened = true;
                        m_reopenedWrote = false;
                    }
                    ++m_opens;
                    m_hungUp = false;
                }
                if ((event.mask & IN_MODIFY) != 0 && m_reopened) {
                    m_reopenedWrote = true;
                    wrote = true;
                }
                if ((event.mask & IN_CLOSE) != 0) {
                    m_opens = std::max(0, m_opens - 1);
                    // The close a hang-up reported already is no other.
                    if (m_opens == 0 && !m_hungUp)
                        m_closed = true;
                }
            }
        }
        return wrote;
    }

    asio::posix::stream_descriptor m_watch;  // inotify: the slave's opens, closes and writes
    int m_held = -1;
    std::string m_link;

    struct End {
        std::size_t at;                 // in m_queue
        platform::SystemError failure;  // when the line failed there
    };
    std::string m_queue;           // read from the master, not yet taken
    std::size_t m_known = 0;       // of m_queue's first bytes, those whose opening is known
    std::deque<End> m_ends;        // where in m_queue an opening ended
    platform::SystemError m_failure;  // of the last read, for the end it makes
    int m_opens = 0;               // of the slave, as the watch reported them
    bool m_closed = false;         // the slave's last opening closed, its end not yet placed
    bool m_reopened = false;       // and a new opening came since
    bool m_reopenedWrote = false;  // which wrote
    bool m_hungUp = true;          // not open and all read: nothing comes until the next opening
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
