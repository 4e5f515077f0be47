#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "platform/deadline.h"
#include "platform/socket.h"

namespace pyrrow::platform {

struct OpenSocket {
    int fd = -1;
};

namespace {

// Waits until the connection attempt ends or the deadline passes; true when
// the socket became writable.
bool WaitWritable(int fd, const Deadline& deadline)
{
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        const timespec wait = deadline.Remaining();
        const int r = ::ppoll(&p, 1, &wait, nullptr);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

}  // namespace

bool StartNetwork()
{
    return true;
}

void StopNetwork() {}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout)
{
    if (address == 0)
        return nullptr;
    const Deadline deadline = Deadline::In(timeout);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0)
        return nullptr;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(address);
    const bool started = ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS;
    // A refused attempt also makes the socket writable: its pending error
    // tells whether the connection was made.
    int error = 0;
    socklen_t length = sizeof error;
    if (!started || !WaitWritable(fd, deadline) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
        error != 0) {
        ::close(fd);
        return nullptr;
    }
    auto* socket = new (std::nothrow) OpenSocket;
    if (socket == nullptr) {
        ::close(fd);
        return nullptr;
    }
    socket->fd = fd;
    return socket;
}

int SendTcp(SocketHandle socket, const void* data, std::size_t size)
{
    if (socket == nullptr)
        return -1;
    for (;;) {
        const ssize_t n = ::send(socket->fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

int ReceiveTcp(SocketHandle socket, void* buffer, std::size_t size)
{
    if (socket == nullptr)
        return -1;
    for (;;) {
        const ssize_t n = ::recv(socket->fd, buffer, size, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 ? -1 : static_cast<int>(n);
    }
}

void CloseTcp(SocketHandle socket)
{
    if (socket == nullptr)
        return;
    ::close(socket->fd);
    delete socket;
}

}  // namespace pyrrow::platform
