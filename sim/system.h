// What the simulator's shared code asks of the operating system beyond what
// Asio covers, and how it says why a call failed. One source file per system
// (system_posix.cpp, system_win.cpp) and the shared part (system.cpp).
#pragma once

#include <string>
#include <system_error>

#include <asio/ip/tcp.hpp>

#include "platform/system_error.h"

namespace pyrrow::sim {

// The simulator's process id: no two simulators running at once share it,
// which makes names of their own (the USB units' serial numbers).
unsigned long ProcessId();

// While one lives, timers keep millisecond time (Windows otherwise stretches
// a wait to its 15.6 ms tick); nothing elsewhere.
class FineTimers {
public:
    FineTimers();
    ~FineTimers();
    FineTimers(const FineTimers&) = delete;
    FineTimers& operator=(const FineTimers&) = delete;

private:
    [[maybe_unused]] bool m_set = false;
};

// Lets a unit started again at once get its port back from TIME_WAIT where
// that takes nothing from another program (POSIX); on Windows the option
// would let it take a port another program listens on, and a port in
// TIME_WAIT binds without it.
void AllowRebind(asio::ip::tcp::acceptor& acceptor);

// What was tried, and the system's words for code, or without one for the
// last error (errno, GetLastError): "reading /dev/pts/3: Input/output error".
platform::SystemError Failure(const std::string& what, const std::error_code& code = {});

// The end of a step that failed: Failure(what) in *error, and false.
inline bool Fail(platform::SystemError* error, const std::string& what)
{
    *error = Failure(what);
    return false;
}

}  // namespace pyrrow::sim
