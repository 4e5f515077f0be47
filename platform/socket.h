// TCP connections as the TCP transport needs them: one connection attempt
// with a time-out, then a non-blocking socket for the whole upload whose
// send and receive never wait. One source file per operating system
// implements it (socket_posix.cpp, socket_win.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace pyrrow::platform {

struct OpenSocket;
using SocketHandle = OpenSocket*;

// Starts and stops the system's network library around one upload, in pairs.
// On POSIX systems there is nothing to start.
bool StartNetwork();
void StopNetwork();

// Connects to an IPv4 address (first octet in the most significant byte) and
// port, waiting at most timeout. Only a confirmed connection counts: a
// refused or failed attempt gives null, and so does 0.0.0.0, which names no
// device. The socket is non-blocking from then on.
SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout);

// Sends what the connection takes at once: the count sent, or -1 on an error
// or when nothing could be sent. Never raises SIGPIPE.
int SendTcp(SocketHandle socket, const void* data, std::size_t size);

// Takes what is waiting: the count, 0 when the peer closed the connection,
// -1 on an error or when nothing is waiting.
int ReceiveTcp(SocketHandle socket, void* buffer, std::size_t size);

void CloseTcp(SocketHandle socket);

}  // namespace pyrrow::platform
