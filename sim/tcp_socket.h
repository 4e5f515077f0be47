// The device side of TCP: a port bound on an IPv4 address (listening, or
// only held), accepted connections, and sends and receives that never wait.
// One source file per operating system implements it (tcp_socket_posix.cpp,
// tcp_socket_win.cpp). Descriptors are plain ints (Winsock's socket handles
// are small numbers too); -1 is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pyrrow::sim {

struct BoundPort {
    int fd = -1;
    std::string address;  // "127.0.0.1:1998", as the system bound it
    std::uint16_t port = 0;
};

// How many connections wait, connected, for a unit that is busy.
inline constexpr int kQueue = 16;

// Binds host:port (port 0: the system chooses). With listen it accepts
// connections; without, it only holds the port, so that connections to it
// are refused. On failure fd is -1, *error says what failed and why and
// *inUse tells whether the port was taken.
BoundPort BindTcp(const std::string& host, std::uint16_t port, bool listen, std::string* error, bool* inUse);

// A connection waiting on the listener, non-blocking; -1 when none.
int AcceptTcp(int listener);

// Receives what is there: the count, 0 when the peer closed its side, -1
// when nothing is there yet (*error stays empty) or on an error (*error
// says why).
long ReceiveTcp(int fd, void* buffer, std::size_t size, std::string* error);

// Sends all bytes, or gives false with the reason in *error.
bool SendTcp(int fd, const void* data, std::size_t size, std::string* error);

// Closes in order (the peer sees the end of the stream) or with a reset.
void CloseTcp(int fd);
void ResetTcp(int fd);

}  // namespace pyrrow::sim
