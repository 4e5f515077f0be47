// The few socket calls of the scripted TCP device, one source file per
// system (test_socket_posix.cpp, test_socket_win.cpp). Sockets are ints;
// -1 is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pyrrow::test::sockets {

// The system's socket library around a device's life (Winsock on Windows).
void Start();
void Stop();

// A listener on 127.0.0.1 at a port the system chooses (*port); -1 on failure.
int ListenOnLoopback(std::uint16_t* port);
// True when something can be read (or the peer closed) within timeoutMs.
bool WaitReadable(int socket, int timeoutMs);
int Accept(int listener);
// The count received, 0 when the peer closed, -1 on an error.
long Receive(int socket, char* buffer, std::size_t size);
void Send(int socket, const std::string& bytes);
// Closes the socket; reset: with a reset instead of an orderly close.
void Close(int socket, bool reset = false);

}  // namespace pyrrow::test::sockets
