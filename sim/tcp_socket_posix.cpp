#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/tcp_socket.h"

namespace pyrrow::sim {

BoundPort BindTcp(const std::string& host, std::uint16_t port, bool listen, std::string* error, bool* inUse)
{
    *inUse = false;
    BoundPort bound;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int r = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); r != 0 || found == nullptr) {
        *error = "cannot resolve " + host + " to an IPv4 address: " + ::gai_strerror(r);
        return bound;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(port);
    const std::string where = host + ":" + std::to_string(port);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return bound;
    }
    // A unit started again at once must get its port back from TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listen && ::listen(fd, kQueue) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int e = errno;
        *inUse = e == EADDRINUSE;
        *error = "cannot " + std::string(listen ? "listen on " : "bind ") + where + ": " + std::strerror(e);
        ::close(fd);
        return bound;
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    bound.fd = fd;
    bound.port = ntohs(address.sin_port);
    bound.address = std::string(text) + ":" + std::to_string(bound.port);
    return bound;
}

int AcceptTcp(int listener)
{
    return ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

long ReceiveTcp(int fd, void* buffer, std::size_t size, std::string* error)
{
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        *error = std::strerror(errno);
    return static_cast<long>(n);
}

bool SendTcp(int fd, const void* data, std::size_t size, std::string* error)
{
    // Answers are a few dozen bytes: the socket's buffer takes them whole.
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(size))
        return true;
    *error = n < 0 ? std::strerror(errno) : std::to_string(n) + " of " + std::to_string(size) + " bytes sent";
    return false;
}

void CloseTcp(int fd)
{
    ::close(fd);
}

void ResetTcp(int fd)
{
    const linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(fd);
}

}  // namespace pyrrow::sim
