// A tty by path (one end of a pair made with socat, a USB serial adapter
// with a cable to the program's port), held with a lock as serial tools do.
// The io_context waits on it, and owns and closes the descriptor.
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "sim/lines/descriptor_line.h"
#include "sim/lines/named_port.h"

namespace pyrrow::sim {
namespace {

class NamedPort final : public DescriptorLine {
public:
    explicit NamedPort(asio::io_context& io) : DescriptorLine(io) {}

    bool Open(const std::string& name, platform::SystemError* error)
    {
        m_where = name;
        const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return Fail(error, "cannot open the port " + name);
        m_port.assign(fd);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return Fail(error, "cannot lock the port " + name + " (another program holds it)");
        termios t{};
        if (::tcgetattr(fd, &t) != 0)
            return Fail(error, name + " is no serial port");
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (::cfsetspeed(&t, B115200) != 0 || ::tcsetattr(fd, TCSANOW, &t) != 0)
            return Fail(error, "cannot set 115200 bit/s 8N1 on " + name);
        return true;
    }

    long Read(void* buffer, std::size_t size, platform::SystemError* error) override
    {
        const ssize_t n = ::read(m_port.native_handle(), buffer, size);
        if (n > 0)
            return static_cast<long>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        if (n == 0)
            error->text = m_where + " has hung up";
        else
            *error = Failure("reading " + m_where);
        return -1;
    }

    bool Hold(platform::SystemError* error) override
    {
        error->text = "busy needs the pseudo-terminal: the simulator cannot hold the program's end of " + m_where +
                      "'s pair; open that end with another program instead";
        return false;
    }
};

}  // namespace

std::unique_ptr<SerialLine> OpenNamedPort(asio::io_context& io, const std::string& name, platform::SystemError* error)
{
    auto port = std::make_unique<NamedPort>(io);
    if (!port->Open(name, error))
        return nullptr;
    return port;
}

}  // namespace pyrrow::sim
