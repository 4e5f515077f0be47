#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/deadline.h"
#include "platform/socket.h"

namespace pyrrow::platform {

struct OpenSocket {
    int fd = -1;
};

namespace {

// Waits for the events, the deadline or a stop request: 1 when they came,
// 0 on a time-out or a stop, -1 on an error (errno kept).
int WaitFor(int fd, short events, const Deadline& deadline, const std::stop_token& stop)
{
    for (;;) {
        if (stop.stop_requested())
            return 0;
        const Deadline look = deadline.NextLook(stop);
        pollfd p{fd, events, 0};
        const timespec wait = look.Remaining();
        const int r = ::ppoll(&p, 1, &wait, nullptr);
        if (r < 0 && errno == EINTR)
            continue;
        if (r == 0 && !deadline.Passed())
            continue;  // only a look at the stop token
        return r;
    }
}

}  // namespace

bool StartNetwork()
{
    return true;
}

void StopNetwork() {}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout,
                        SystemError* error, std::stop_token stop)
{
    if (address == 0) {
        SetErrorText(error, SystemError::Kind::NotFound, "0.0.0.0 names no device");
        return nullptr;
    }
    const Deadline deadline = Deadline::In(timeout);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        CaptureSystemError(error);
        return nullptr;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (!connected && errno != EINPROGRESS) {
        CaptureSystemError(error);
    } else if (!connected) {
        // A refused attempt also makes the socket writable: its pending
        // error tells whether the connection was made.
        const int waited = WaitFor(fd, POLLOUT, deadline, stop);
        int pending = 0;
        socklen_t length = sizeof pending;
        if (waited < 0) {
            CaptureSystemError(error);
        } else if (waited == 0 && stop.stop_requested()) {
            SetSystemError(error, ECANCELED, "asked to stop");
        } else if (waited == 0) {
            SetSystemError(error, ETIMEDOUT, "no connection within " + std::to_string(timeout.count()) + " ms");
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) {
            CaptureSystemError(error);
        } else if (pending != 0) {
            SetSystemError(error, pending);
        } else {
            connected = true;
        }
    }
    if (!connected) {
        ::close(fd);
        return nullptr;
    }
    auto* socket = new (std::nothrow) OpenSocket;
    if (socket == nullptr) {
        SetSystemError(error, ENOMEM);
        ::close(fd);
        return nullptr;
    }
    socket->fd = fd;
    return socket;
}

int SendTcp(SocketHandle socket, const void* data, std::size_t size, SystemError* error)
{
    if (socket == nullptr)
        return -1;
    for (;;) {
        const ssize_t n = ::send(socket->fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            CaptureSystemError(error);
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int ReceiveTcp(SocketHandle socket, void* buffer, std::size_t size, SystemError* error)
{
    if (socket == nullptr)
        return -1;
    for (;;) {
        const ssize_t n = ::recv(socket->fd, buffer, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            SetErrorText(error, SystemError::Kind::Other, {});
        else if (n < 0)
            CaptureSystemError(error);
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

bool WaitTcpReadable(SocketHandle socket, std::chrono::milliseconds timeout, std::stop_token stop)
{
    return socket != nullptr && WaitFor(socket->fd, POLLIN, Deadline::In(timeout), stop) > 0;
}

void CloseTcp(SocketHandle socket)
{
    if (socket == nullptr)
        return;
    ::close(socket->fd);
    delete socket;
}

}  // namespace pyrrow::platform
