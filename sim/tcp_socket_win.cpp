// Winsock. Each bind starts Winsock once more (it counts its starts; the
// process's end stops it). A handle is kept as an int: Winsock's socket
// handles are small numbers.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "sim/tcp_socket.h"
#include "sim/windows_error.h"

namespace pyrrow::sim {
namespace {

SOCKET Socket(int fd)
{
    return static_cast<SOCKET>(fd);
}

std::string LastError()
{
    return WindowsErrorText(static_cast<unsigned long>(::WSAGetLastError()));
}

bool SetNonblocking(SOCKET s)
{
    u_long on = 1;
    return ::ioctlsocket(s, static_cast<long>(FIONBIO), &on) == 0;
}

}  // namespace

BoundPort BindTcp(const std::string& host, std::uint16_t port, bool listen, std::string* error, bool* inUse)
{
    *inUse = false;
    BoundPort bound;
    WSADATA data{};
    if (const int r = ::WSAStartup(MAKEWORD(2, 2), &data); r != 0) {
        *error = "cannot start Winsock: " + WindowsErrorText(static_cast<unsigned long>(r));
        return bound;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        *error = "cannot resolve " + host + " to an IPv4 address: " + LastError();
        return bound;
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    address.sin_port = htons(port);
    const std::string where = host + ":" + std::to_string(port);

    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        *error = "socket: " + LastError();
        return bound;
    }
    // No SO_REUSEADDR: on Windows it would let us take a port another
    // program listens on; a port in TIME_WAIT can be bound without it.
    int length = sizeof address;
    if (!SetNonblocking(s) || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listen && ::listen(s, kQueue) != 0) ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int e = ::WSAGetLastError();
        *inUse = e == WSAEADDRINUSE || e == WSAEACCES;
        *error = "cannot " + std::string(listen ? "listen on " : "bind ") + where + ": " +
                 WindowsErrorText(static_cast<unsigned long>(e));
        ::closesocket(s);
        return bound;
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    bound.fd = static_cast<int>(s);
    bound.port = ntohs(address.sin_port);
    bound.address = std::string(text) + ":" + std::to_string(bound.port);
    return bound;
}

int AcceptTcp(int listener)
{
    const SOCKET s = ::accept(Socket(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET)
        return -1;
    if (!SetNonblocking(s)) {
        ::closesocket(s);
        return -1;
    }
    return static_cast<int>(s);
}

long ReceiveTcp(int fd, void* buffer, std::size_t size, std::string* error)
{
    const int n = ::recv(Socket(fd), static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            *error = LastError();
        return -1;
    }
    return n;
}

bool SendTcp(int fd, const void* data, std::size_t size, std::string* error)
{
    // Answers are a few dozen bytes: the socket's buffer takes them whole.
    const int n = ::send(Socket(fd), static_cast<const char*>(data), static_cast<int>(size), 0);
    if (n == static_cast<int>(size))
        return true;
    *error = n == SOCKET_ERROR ? LastError() : std::to_string(n) + " of " + std::to_string(size) + " bytes sent";
    return false;
}

void CloseTcp(int fd)
{
    ::closesocket(Socket(fd));
}

void ResetTcp(int fd)
{
    const linger abortive{1, 0};
    ::setsockopt(Socket(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
    ::closesocket(Socket(fd));
}

}  // namespace pyrrow::sim
