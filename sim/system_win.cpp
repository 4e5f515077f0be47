#include <winsock2.h>
#include <windows.h>
#include <timeapi.h>

#include "sim/system.h"

namespace pyrrow::sim {

unsigned long ProcessId()
{
    return ::GetCurrentProcessId();
}

FineTimers::FineTimers() : m_set(::timeBeginPeriod(1) == TIMERR_NOERROR) {}

FineTimers::~FineTimers()
{
    if (m_set)
        ::timeEndPeriod(1);
}

void AllowRebind(asio::ip::tcp::acceptor&) {}

}  // namespace pyrrow::sim
