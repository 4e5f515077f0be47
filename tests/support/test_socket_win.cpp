#include <winsock2.h>

#include <stdexcept>

#include "support/test_socket.h"

namespace pyrrow::test::sockets {
namespace {

SOCKET Sock(int socket)
{
    return static_cast<SOCKET>(socket);
}

}  // namespace

void Start()
{
    WSADATA data{};
    if (::WSAStartup(0x0202, &data) != 0)
        throw std::runtime_error("no Winsock");
}

void Stop()
{
    ::WSACleanup();
}

int ListenOnLoopback(std::uint16_t* port)
{
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(s, 1) != 0 || ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        return -1;
    }
    *port = ::ntohs(address.sin_port);
    return static_cast<int>(s);
}

bool WaitReadable(int socket, int timeoutMs)
{
    WSAPOLLFD p{Sock(socket), POLLRDNORM, 0};
    return ::WSAPoll(&p, 1, timeoutMs) > 0;
}

int Accept(int listener)
{
    const SOCKET accepted = ::accept(Sock(listener), nullptr, nullptr);
    return accepted == INVALID_SOCKET ? -1 : static_cast<int>(accepted);
}

long Receive(int socket, char* buffer, std::size_t size)
{
    return ::recv(Sock(socket), buffer, static_cast<int>(size), 0);
}

void Send(int socket, const std::string& bytes)
{
    [[maybe_unused]] const int n = ::send(Sock(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
}

void Close(int socket, bool reset)
{
    if (reset) {
        const linger abortive{1, 0};
        ::setsockopt(Sock(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof abortive);
    }
    ::closesocket(Sock(socket));
}

}  // namespace pyrrow::test::sockets
