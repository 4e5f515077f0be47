#include "support/pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace pyrrow::test {

PtyDevice::PtyDevice(SerialScript script) : m_script(std::move(script))
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        throw std::runtime_error("no name for the pseudo-terminal");
    m_slavePath = name;
    // The master's line settings are the slave's.
    termios t = Line();
    ::cfmakeraw(&t);
    SetLine(t);
    if (!m_script.banner.empty() &&
        ::write(m_master, m_script.banner.data(), m_script.banner.size()) != static_cast<ssize_t>(m_script.banner.size()))
        throw std::runtime_error("the banner was not written");
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    m_thread = std::thread([this] { Run(); });
}

PtyDevice::~PtyDevice()
{
    Finish();
    ::close(m_stopPipe[0]);
    ::close(m_stopPipe[1]);
}

std::string PtyDevice::Finish()
{
    if (m_thread.joinable()) {
        // Whatever the program wrote is in the pty already; the device reads
        // it up and stops.
        const char stop = 'x';
        [[maybe_unused]] const ssize_t ignored = ::write(m_stopPipe[1], &stop, 1);
        m_thread.join();
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    return m_received;
}

termios PtyDevice::Line() const
{
    termios t{};
    ::tcgetattr(m_master, &t);
    return t;
}

void PtyDevice::SetLine(const termios& line)
{
    ::tcsetattr(m_master, TCSANOW, &line);
}

void PtyDevice::Run()
{
    bool answered = false;
    bool stopping = false;
    for (;;) {
        pollfd fds[2] = {{m_master, static_cast<short>(m_script.neverRead ? 0 : POLLIN), 0}, {m_stopPipe[0], POLLIN, 0}};
        // After the stop request, drain what is left without waiting.
        if (::poll(fds, 2, stopping ? 0 : 20000) <= 0)
            return;
        if ((fds[1].revents & POLLIN) != 0 && !stopping) {
            stopping = true;
            if (m_script.neverRead)
                return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            if (stopping || (fds[0].revents & (POLLHUP | POLLERR)) != 0)
                return;
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            return;
        m_received.append(buffer, static_cast<std::size_t>(n));
        if (!answered && m_received.size() >= 32) {
            answered = true;
            m_lineAtHeader = Line();
            for (const auto& piece : m_script.answer) {
                std::this_thread::sleep_for(piece.delay);
                [[maybe_unused]] const ssize_t w = ::write(m_master, piece.bytes.data(), piece.bytes.size());
            }
        }
        if (m_script.hangUpAfterData >= 0 && static_cast<long>(m_received.size()) >= 32 + m_script.hangUpAfterData) {
            // The device goes away: the program sees a hang-up.
            ::close(m_master);
            m_master = -1;
            return;
        }
    }
}

}  // namespace pyrrow::test
