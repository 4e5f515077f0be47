// TCP connections as the TCP transport needs them: one connection attempt
// with a time-out, then a non-blocking socket for the whole upload whose
// send and receive never wait. One source file per operating system
// implements it (socket_posix.cpp, socket_win.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "platform/system_error.h"

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
// device. The socket is non-blocking from then on. error (may be null) gets
// the reason of a failure. A stop request ends the wait within kStopLook
// (deadline.h) with null; the caller looks at stop.
SocketHandle ConnectTcp(std::uint32_t address, std::uint16_t port, std::chrono::milliseconds timeout,
                        SystemError* error = nullptr, std::stop_token stop = {});

// Sends what the connection takes at once: the count sent, or -1 on an error
// or when nothing could be sent. Never raises SIGPIPE.
int SendTcp(SocketHandle socket, const void* data, std::size_t size, SystemError* error = nullptr);

// Takes what is waiting: the count, 0 when the peer closed the connection,
// -1 on an error (a reset among them: error then has the system's code and
// words) or when nothing is waiting (error then has code 0 with the kind
// Other and an empty text).
int ReceiveTcp(SocketHandle socket, void* buffer, std::size_t size, SystemError* error = nullptr);

// Waits at most timeout until something can be received (or the peer closed
// or reset the connection). False on a time-out, an error or a stop request
// (seen within kStopLook).
bool WaitTcpReadable(SocketHandle socket, std::chrono::milliseconds timeout, std::stop_token stop = {});

void CloseTcp(SocketHandle socket);

}  // namespace pyrrow::platform
