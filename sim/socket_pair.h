// Two connected loopback sockets: how a thread that waits on what WSAPoll
// cannot see (a console's control events, a COM port) wakes the event loop
// on Windows. For the Windows sources of the simulator only.
#pragma once

#include <string>

namespace pyrrow::sim {

struct SocketPair {
    int reader = -1;  // non-blocking, for the event loop
    int writer = -1;  // blocking, for the thread
};

// Both sockets, or -1 in both with the system's reason in *error.
SocketPair MakeSocketPair(std::string* error);
void CloseSocket(int fd);

}  // namespace pyrrow::sim
