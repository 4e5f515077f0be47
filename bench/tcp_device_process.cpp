#include "bench/tcp_device_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

pid_t StartTcpDeviceProcess(std::size_t size, std::uint16_t* port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::accept(listener, nullptr, nullptr);
        auto receive = [fd](std::size_t n) {
            std::string got;
            char buffer[2048];
            while (got.size() < n) {
                const ssize_t r = ::recv(fd, buffer, std::min(sizeof buffer, n - got.size()), 0);
                if (r <= 0)
                    break;
                got.append(buffer, static_cast<std::size_t>(r));
            }
            return got;
        };
        std::string header = receive(32);
        header[28] = header[29] = 0;
        ::send(fd, header.data(), header.size(), 0);
        for (std::size_t left = size - 32; left > 0;) {
            const std::size_t n = std::min<std::size_t>(left, 1024);
            if (receive(n + 2).size() != n + 2)
                ::_exit(1);
            ::send(fd, "ACK-OK", 6, 0);
            left -= n;
        }
        ::_exit(0);
    }
    ::close(listener);
    return child;
}
