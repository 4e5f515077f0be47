// A tty by path (one end of a pair made with socat, a USB serial adapter
// with a cable to the program's port), held with a lock as serial tools do.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/named_port.h"

namespace pyrrow::sim {
namespace {

std::string Reason(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

class NamedPort final : public SerialLine {
public:
    ~NamedPort() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool Open(const std::string& name, std::string* error)
    {
        m_name = name;
        m_fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) {
            *error = Reason("cannot open the port " + name);
            return false;
        }
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            *error = Reason("cannot lock the port " + name + " (another program holds it)");
            return false;
        }
        termios t{};
        if (::tcgetattr(m_fd, &t) != 0) {
            *error = Reason(name + " is no serial port");
            return false;
        }
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (::cfsetspeed(&t, B115200) != 0 || ::tcsetattr(m_fd, TCSANOW, &t) != 0) {
            *error = Reason("cannot set 115200 bit/s 8N1 on " + name);
            return false;
        }
        return true;
    }

    const std::string& Where() const override { return m_name; }
    int Fd() const override { return m_fd; }

    long Read(void* buffer, std::size_t size, std::string* error) override
    {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n > 0)
            return static_cast<long>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        *error = n == 0 ? m_name + " has hung up" : Reason("reading " + m_name);
        return -1;
    }

    bool Write(const void* data, std::size_t size, std::string* error) override
    {
        if (::write(m_fd, data, size) == static_cast<ssize_t>(size))
            return true;
        *error = Reason("writing " + m_name);
        return false;
    }

    int OpenWatchFd() const override { return -1; }
    void TakeOpens() override {}

    bool Hold(std::string* error) override
    {
        *error = "busy needs the pseudo-terminal: the simulator cannot hold the program's end of " + m_name +
                 "'s pair; open that end with another program instead";
        return false;
    }

private:
    int m_fd = -1;
    std::string m_name;
};

}  // namespace

std::unique_ptr<SerialLine> OpenNamedPort(const std::string& name, std::string* error)
{
    auto port = std::make_unique<NamedPort>();
    if (!port->Open(name, error))
        return nullptr;
    return port;
}

}  // namespace pyrrow::sim
