#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <string>

#include "platform/deadline.h"
#include "platform/socket.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

struct OpenSocket {
    SOCKET s = INVALID_SOCKET;
    std::u16string peer;
};

namespace {

constexpr const char* kArea = "tcp";
constexpr WORD kWinsockVersion = 0x0101;

std::u16string PeerName(std::uint32_t address, std::uint16_t port)
{
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                                (address >> 8) & 0xFF, address & 0xFF, static_cast<unsigned>(port));
    return std::u16string(text, text + (n > 0 ? n : 0));
}

void Fail(SystemError* error, const char* action, const std::u16string& peer, int code)
{
    TellSystemError(error, kArea, action, peer, static_cast<unsigned long>(code));
}

// What remains of a deadline's next look as a select time-out.
timeval Remaining(const Deadline& look)
{
    const timespec left = look.Remaining();
    return timeval{static_cast<long>(left.tv_sec), static_cast<long>(left.tv_nsec / 1000)};
}

// Waits until the connection attempt ends, the time is up or a stop is
// asked. A refused attempt shows in the exception set, a made one in the
// write set.
bool WaitConnected(SOCKET s, std::chrono::milliseconds timeout, const std::u16string& peer, SystemError* cause,
                   const std::stop_token& stop)
{
    const Deadline deadline = Deadline::In(timeout);
    fd_set writable;
    fd_set failed;
    int r = 0;
    for (;;) {
        if (stop.stop_requested()) {
            SetErrorText(cause, SystemError::Kind::Other, "asked to stop");
            return false;
        }
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait = Remaining(deadline.NextLook(stop));
        r = ::select(0, nullptr, &writable, &failed, &wait);
        if (r != 0 || deadline.Passed())
            break;
    }
    if (r == SOCKET_ERROR) {
        Fail(cause, "wait for the connection to", peer, ::WSAGetLastError());
        return false;
    }
    if (r == 0) {
        Fail(cause, "connect to", peer, WSAETIMEDOUT);
        return false;
    }
    // The pending error tells why, whichever set the socket is in.
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == SOCKET_ERROR)
        error = ::WSAGetLastError();
    if (FD_ISSET(s, &failed) || error != 0) {
        Fail(cause, "connect to", peer, error != 0 ? error : WSAECONNREFUSED);
        return false;
    }
    return FD_ISSET(s, &writable) != 0;
}

int Clamped(std::size_t size)
{
    return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
}

}  // namespace

bool StartNetwork()
{
    WSADATA data{};
    const int r = ::WSAStartup(kWinsockVersion, &data);
    if (r != 0) {
        Fail(nullptr, "start", u"Winsock 1.1", r);
        return false;
    }
    return true;
}

void StopNetwork()
{
    ::WSACleanup();
}

SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout,
                        SystemError* error, std::stop_token stop)
{
    if (address == 0) {
        SetErrorText(error, SystemError::Kind::NotFound, "0.0.0.0 names no device");
        return nullptr;
    }
    const std::u16string peer = PeerName(address, port);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        Fail(error, "make a socket for", peer, ::WSAGetLastError());
        return nullptr;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking) == SOCKET_ERROR) {
        Fail(error, "make the socket non-blocking for", peer, ::WSAGetLastError());
        ::closesocket(s);
        return nullptr;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = ::htons(port);
    to.sin_addr.s_addr = ::htonl(address);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
        const int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            Fail(error, "connect to", peer, code);
            ::closesocket(s);
            return nullptr;
        }
        if (!WaitConnected(s, timeout, peer, error, stop)) {
            ::closesocket(s);
            return nullptr;
        }
    }
    auto* socket = new (std::nothrow) OpenSocket;
    if (socket == nullptr) {
        ::closesocket(s);
        return nullptr;
    }
    socket->s = s;
    socket->peer = peer;
    return socket;
}

int SendTcp(SocketHandle socket, const void* data, std::size_t size, SystemError* error)
{
    if (socket == nullptr)
        return -1;
    const int n = ::send(socket->s, static_cast<const char*>(data), Clamped(size), 0);
    if (n == SOCKET_ERROR) {
        const int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK)
            Fail(error, "send to", socket->peer, code);
        return -1;
    }
    return n;
}

int ReceiveTcp(SocketHandle socket, void* buffer, std::size_t size, SystemError* error)
{
    if (socket == nullptr)
        return -1;
    const int n = ::recv(socket->s, static_cast<char*>(buffer), Clamped(size), 0);
    if (n == SOCKET_ERROR) {
        const int code = ::WSAGetLastError();
        if (code != WSAEWOULDBLOCK)  // nothing waiting yet: the caller polls
            Fail(error, "receive from", socket->peer, code);
        else
            SetErrorText(error, SystemError::Kind::Other, {});
        return -1;
    }
    return n;
}

bool WaitTcpReadable(SocketHandle socket, std::chrono::milliseconds timeout, std::stop_token stop)
{
    if (socket == nullptr)
        return false;
    const Deadline deadline = Deadline::In(timeout);
    while (!stop.stop_requested()) {
        const timespec left = deadline.NextLook(stop).Remaining();
        WSAPOLLFD p{socket->s, POLLRDNORM, 0};
        const int r = ::WSAPoll(&p, 1, static_cast<INT>(left.tv_sec * 1000 + (left.tv_nsec + 999'999) / 1'000'000));
        if (r != 0)
            return r > 0;
        if (deadline.Passed())
            return false;
    }
    return false;
}

void CloseTcp(SocketHandle socket)
{
    if (socket == nullptr)
        return;
    ::closesocket(socket->s);
    delete socket;
}

}  // namespace pyrrow::platform
