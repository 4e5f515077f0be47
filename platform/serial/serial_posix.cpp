#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>

#include "platform/deadline.h"
#include "platform/devices/device_holder.h"
#include "platform/serial/serial.h"
#include "platform/serial/serial_access.h"
#include "platform/utf.h"

namespace pyrrow::platform {

struct OpenSerialPort {
    int fd = -1;
    SerialTimeouts timeouts{};
    unsigned baudRate = 0;     // as configured; 0 before
    bool outputStuck = false;  // a write failed or timed out
    std::function<long()> outputQueue;  // a test's stand-in for the driver's count
    std::function<long(const void*, std::size_t)> write;  // a test's stand-in for write(2)
};

namespace {

speed_t SpeedOf(unsigned baudRate)
{
    switch (baudRate) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

// Waits for events on fd until the deadline or a stop request; 0 on
// time-out or stop, -1 on failure (WaitFailed tells it).
int PollUntil(int fd, short events, const Deadline& deadline, short* revents, const std::stop_token& stop)
{
    for (;;) {
        if (stop.stop_requested())
            return 0;
        const Deadline look = deadline.NextLook(stop);
        pollfd p{fd, events, 0};
        const timespec wait = look.Remaining();
        const int r = ::ppoll(&p, 1, look.IsInfinite() ? nullptr : &wait, nullptr);
        if (r < 0 && errno == EINTR)
            continue;  // the remaining time is recomputed from the deadline
        if (r == 0 && !deadline.Passed())
            continue;  // only a look at the stop token
        *revents = p.revents;
        return r;
    }
}

// A failed wait is this host's failure, not the device's.
void WaitFailed(SystemError* error)
{
    CaptureSystemError(error, "waiting for the port failed");
    if (error != nullptr)
        error->kind = SystemError::Kind::Host;
}

// The written bytes still in the port: its output queue, and the one in the
// transmitter where the driver tells (a UART's shift register and FIFO).
long QueuedOutput(OpenSerialPort& port)
{
    if (port.outputQueue)
        return port.outputQueue();
    int queued = 0;
    if (::ioctl(port.fd, TIOCOUTQ, &queued) != 0)
        return -1;
    if (queued > 0)
        return queued;
    unsigned int lsr = 0;
    if (::ioctl(port.fd, TIOCSERGETLSR, &lsr) == 0 && (lsr & TIOCSER_TEMT) == 0)
        return 1;  // the last byte is still on its way out
    return 0;  // empty, or a port (a pseudo-terminal, a USB adapter) that has no transmitter to ask
}

// Waits until the port's output has left, the deadline passes or a stop is
// asked: 1 when it left, 0 otherwise (*queued: what is still there), -1 when
// the queue cannot be read.
int DrainUntil(OpenSerialPort& port, const Deadline& deadline, const std::stop_token& stop, long* queued)
{
    for (;;) {
        *queued = QueuedOutput(port);
        if (*queued <= 0)
            return *queued == 0 ? 1 : -1;
        if (deadline.Passed() || stop.stop_requested())
            return 0;
        // There is no event for an empty queue: wait as long as the queued
        // bytes take on the line (10 bits each), at least 1 ms, and look again.
        const long long rate = port.baudRate != 0 ? port.baudRate : 9600;
        const auto onTheLine = std::chrono::microseconds(std::max<long long>(1000, *queued * 10 * 1'000'000 / rate));
        const Deadline look = Deadline::Earlier(deadline.NextLook(stop), Deadline::In(onTheLine));
        const timespec wait = look.Remaining();
        ::ppoll(nullptr, 0, &wait, nullptr);  // an interruption only shortens the look
    }
}

// The total time-out of a transfer of size bytes; none when both parts are 0.
Deadline TotalDeadline(unsigned multiplier, unsigned constant, std::size_t size)
{
    if (multiplier == 0 && constant == 0)
        return Deadline::Never();
    return Deadline::In(std::chrono::milliseconds(multiplier * size + constant));
}

// Who may open the device, and how this user can come to be among them.
std::string AccessAdvice(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return {};
    const passwd* owner = ::getpwuid(status.st_uid);
    const group* grp = ::getgrgid(status.st_gid);
    return SerialAccessAdvice(owner != nullptr ? std::string(owner->pw_name) : std::to_string(status.st_uid),
                              grp != nullptr ? std::string(grp->gr_name) : std::to_string(status.st_gid),
                              static_cast<unsigned>(status.st_mode & 07777), SerialUdevMatch(path, KernelName(path)));
}

}  // namespace

std::string KernelName(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    const std::filesystem::path device = ec ? std::filesystem::path(path) : real;
    // A pseudo-terminal's name is its number in its own folder.
    if (device.parent_path() == "/dev/pts")
        return "pts/" + device.filename().string();
    return device.filename().string();
}

std::string SerialUdevMatch(const std::string& namedPath, const std::string& kernelName)
{
    // udev makes no node in /dev/pts: no rule can match one.
    if (kernelName.rfind("pts/", 0) == 0)
        return {};
    // udev names the link BUS-ID_SERIAL-ifNN, with -portN for the ports of
    // a USB serial adapter.
    const std::string_view folder = "/serial/by-id/";
    const std::size_t at = namedPath.find(folder);
    if (at != std::string::npos) {
        const std::string link = namedPath.substr(at + folder.size());
        const std::size_t bus = link.find('-');
        const std::size_t interface = link.rfind("-if");
        if (bus != std::string::npos && interface != std::string::npos && interface > bus + 1) {
            const std::string suffix = link.substr(interface + 3);
            const auto digits = [](const std::string& text) {
                return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            };
            const std::size_t port = suffix.find("-port");
            if (digits(suffix.substr(0, port)) && (port == std::string::npos || digits(suffix.substr(port + 5))))
                return "SUBSYSTEM==\"tty\", ENV{ID_SERIAL}==\"" + link.substr(bus + 1, interface - bus - 1) + "\"";
        }
    }
    return "KERNEL==\"" + (kernelName.empty() ? std::string("ttyUSB0") : kernelName) + "\"";
}

std::string SerialAccessAdvice(const std::string& owner, const std::string& group, unsigned mode,
                               const std::string& udevMatch)
{
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777);
    std::string advice = "owner " + owner + ":" + group + ", mode " + octal;
    const bool ownerRw = (mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
    const bool groupRw = (mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    // Joining a group helps only where the group may read and write, and
    // nobody should join root's.
    if (groupRw && group != "root" && group != "0")
        return advice + "; join the group " + group + " ('sudo usermod -aG " + group + " $USER', then log in again)";
    std::string who;
    if (ownerRw)
        who = owner;
    if (groupRw)
        who += (who.empty() ? "the group " : " and the group ") + group;
    advice += who.empty() ? "; nobody may open it" : "; only " + who + " may open it";
    if (udevMatch.empty())
        return advice + "; it is a pseudo-terminal, which the program that made it owns and no udev rule "
                        "reaches: that program's user (or root) can give it to this user with chown or chmod";
    return advice + "; only an administrator can change that: a udev rule in /etc/udev/rules.d can give the port "
                    "to a group or to the user at the machine, in the manner of the rule 70-pyrrow.rules that "
                    "Pyrrow installs for the unit's USB interface (for example " +
           udevMatch +
           ", GROUP=\"dialout\", MODE=\"0660\"), then 'sudo udevadm control --reload && sudo udevadm "
           "trigger' or replug the port";
}

std::string SerialDevicePath(const std::string& name)
{
    if (name.empty() || name.front() == '/')
        return name;
    const bool com = name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
                     (name[2] == 'M' || name[2] == 'm');
    if (com && name.find_first_not_of("0123456789", 3) == std::string::npos && name.size() <= 6) {
        const unsigned long n = std::stoul(name.substr(3));
        if (n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + name;
}

bool SerialPortExists(const std::string& portName)
{
    const std::string path = SerialDevicePath(portName);
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

SerialHandle OpenSerial(const std::string& portName, SystemError* error)
{
    const std::string path = SerialDevicePath(portName);
    if (path.empty()) {
        SetErrorText(error, SystemError::Kind::NotFound, "no port chosen");
        return nullptr;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        SetSystemError(error, code, code == EACCES || code == EPERM ? AccessAdvice(path) : std::string());
        return nullptr;
    }
    // For us alone: refuse a port that another program has marked exclusive
    // or locked, then do both ourselves.
    int exclusive = 0;
    bool opened = false;
    if (!::isatty(fd))
        SetSystemError(error, ENOTTY, "not a serial port");
    else if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        SetSystemError(error, EBUSY, "another program holds it in exclusive mode");
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        SetSystemError(error, code, code == EWOULDBLOCK ? "another program holds its lock" : "locking it");
    } else if (::ioctl(fd, TIOCEXCL) != 0)
        CaptureSystemError(error);
    else
        opened = true;
    // A program that merely has it open (a terminal left running) would
    // take the unit's answers: refused as well, naming it. Looked for once
    // the port is exclusive, so that nobody can join after the look.
    if (opened) {
        if (const std::string holder = DeviceHolder(path); !holder.empty()) {
            SetSystemError(error, EBUSY, holder);
            ::ioctl(fd, TIOCNXCL);
            opened = false;
        }
    }
    if (!opened) {
        ::close(fd);
        return nullptr;
    }
    auto* port = new (std::nothrow) OpenSerialPort;
    if (port == nullptr) {
        SetSystemError(error, ENOMEM);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return nullptr;
    }
    port->fd = fd;
    return port;
}

bool ConfigureSerial(SerialHandle port, unsigned baudRate, SystemError* error)
{
    termios t{};
    const speed_t speed = SpeedOf(baudRate);
    if (port == nullptr || speed == B0) {
        SetSystemError(error, EINVAL, std::to_string(baudRate) + " bit/s");
        return false;
    }
    if (::tcgetattr(port->fd, &t) != 0) {
        CaptureSystemError(error, "read the line settings");
        return false;
    }
    // Raw 8-bit data, no parity, no flow control; stop bits stay as they are.
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                        ICRNL | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0 || ::tcsetattr(port->fd, TCSANOW, &t) != 0) {
        CaptureSystemError(error, "set " + std::to_string(baudRate) + " bit/s, 8 data bits, no parity");
        return false;
    }
    port->baudRate = baudRate;
    // Hold DTR and RTS off. A pseudo-terminal has no modem lines and says so
    // with ENOTTY; that is no failure.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(port->fd, TIOCMBIC, &lines) == 0 || errno == ENOTTY || errno == EINVAL)
        return true;
    CaptureSystemError(error, "hold DTR and RTS off");
    return false;
}

void SetSerialTimeouts(SerialHandle port, const SerialTimeouts& timeouts)
{
    if (port != nullptr)
        port->timeouts = timeouts;
}

bool ClearSerialInput(SerialHandle port, SystemError* error)
{
    if (port == nullptr)
        return false;
    if (::tcflush(port->fd, TCIFLUSH) == 0)
        return true;
    CaptureSystemError(error, "clear the received bytes");
    return false;
}

bool ReadSerial(SerialHandle port, void* buffer, std::size_t size, std::size_t* read, SystemError* error,
                std::stop_token stop)
{
    *read = 0;
    if (port == nullptr)
        return false;
    const SerialTimeouts& t = port->timeouts;
    const Deadline total = TotalDeadline(t.readTotalMultiplier, t.readTotalConstant, size);
    auto* out = static_cast<unsigned char*>(buffer);
    while (*read < size && !total.Passed() && !stop.stop_requested()) {
        // Once bytes came, a gap longer than the interval ends the read.
        const Deadline wait = *read > 0 && t.readInterval != 0
                                  ? Deadline::Earlier(total, Deadline::In(std::chrono::milliseconds(t.readInterval)))
                                  : total;
        short revents = 0;
        const int r = PollUntil(port->fd, POLLIN, wait, &revents, stop);
        if (r < 0) {
            WaitFailed(error);
            return false;
        }
        if (r == 0) {
            if (*read > 0)
                break;
            continue;
        }
        if ((revents & POLLIN) != 0) {
            const ssize_t n = ::read(port->fd, out + *read, size - *read);
            if (n > 0) {
                *read += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            // 0 or EIO: the device hung up
            SetSystemError(error, n < 0 ? errno : EIO, "the device went away");
            return false;
        }
        SetSystemError(error, EIO, "the device went away");  // POLLHUP, POLLERR or POLLNVAL without data
        return false;
    }
    return true;
}

bool WriteSerial(SerialHandle port, const void* data, std::size_t size, std::size_t* written, SystemError* error,
                 std::stop_token stop)
{
    *written = 0;
    if (port == nullptr)
        return false;
    const SerialTimeouts& t = port->timeouts;
    const Deadline deadline = TotalDeadline(t.writeTotalMultiplier, t.writeTotalConstant, size);
    const auto* in = static_cast<const unsigned char*>(data);
    const auto stopped = [&] {
        port->outputStuck = true;
        SetSystemError(error, ECANCELED, "asked to stop");
        return false;
    };
    std::size_t queued = 0;  // handed to the driver
    bool writable = false;   // the last wait said the port takes bytes
    while (queued < size) {
        const long n = port->write ? port->write(in + queued, size - queued)
                                   : static_cast<long>(::write(port->fd, in + queued, size - queued));
        if (n > 0) {
            queued += static_cast<std::size_t>(n);
            writable = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            CaptureSystemError(error);
            port->outputStuck = true;
            return false;
        }
        // Nothing taken (EAGAIN or 0): the deadline holds even when the
        // port keeps saying it is writable.
        if (deadline.Passed())
            break;  // time-out: a short write
        if (writable) {
            // Said writable, yet nothing was taken: look again a little later.
            if (stop.stop_requested())
                return stopped();
            const timespec wait =
                Deadline::Earlier(deadline.NextLook(stop), Deadline::In(std::chrono::milliseconds(1))).Remaining();
            ::ppoll(nullptr, 0, &wait, nullptr);  // an interruption only shortens the look
        }
        short revents = 0;
        const int r = PollUntil(port->fd, POLLOUT, deadline, &revents, stop);
        if (r == 0 && stop.stop_requested())
            return stopped();
        if (r == 0)
            break;  // time-out: a short write
        if (r < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            if (r < 0)
                WaitFailed(error);
            else
                SetSystemError(error, EIO, "the device went away");
            port->outputStuck = true;
            return false;
        }
        writable = true;
    }
    // Done only once the bytes have left the port: whatever follows (a
    // pause of the protocol) then starts when the device has them.
    long left = 0;
    const int drained = DrainUntil(*port, deadline, stop, &left);
    if (drained < 0) {
        CaptureSystemError(error, "read the output queue");
        port->outputStuck = true;
        return false;
    }
    if (drained == 0 && stop.stop_requested())
        return stopped();
    *written = queued - std::min(queued, static_cast<std::size_t>(std::max(0L, left)));
    if (*written < size) {
        port->outputStuck = true;
        SetSystemError(error, ETIMEDOUT,
                       std::to_string(*written) + " of " + std::to_string(size) + " bytes written in time" +
                           (queued == size ? " (the rest did not leave the port)" : ""));
    }
    return true;
}

void SetSerialOutputQueue(SerialHandle port, std::function<long()> queued)
{
    if (port != nullptr)
        port->outputQueue = std::move(queued);
}

void SetSerialWrite(SerialHandle port, std::function<long(const void*, std::size_t)> write)
{
    if (port != nullptr)
        port->write = std::move(write);
}

void CloseSerial(SerialHandle port)
{
    if (port == nullptr)
        return;
    // Closing a tty waits until its output has gone out (up to its
    // closing_wait, 30 s by default); after a failed write that output will
    // never go, so it is dropped.
    if (port->outputStuck)
        ::tcflush(port->fd, TCOFLUSH);
    ::ioctl(port->fd, TIOCNXCL);
    ::close(port->fd);
    delete port;
}

}  // namespace pyrrow::platform
