#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/test_socket.h"

namespace pyrrow::test::sockets {

void Start() {}

void Stop() {}

int ListenOnLoopback(std::uint16_t* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

bool WaitReadable(int socket, int timeoutMs)
{
    pollfd p{socket, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

int Accept(int listener)
{
    return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

long Receive(int socket, char* buffer, std::size_t size)
{
    return ::recv(socket, buffer, size, 0);
}

void Send(int socket, const std::string& bytes)
{
    [[maybe_unused]] const ssize_t n = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

void Close(int socket, bool reset)
{
    if (reset) {
        const linger abortive{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    ::close(socket);
}

}  // namespace pyrrow::test::sockets
