// The wait of the event loop on Windows: WSAPoll, so every descriptor
// watched is a socket (the stop request and a named port reach the loop
// through loopback sockets). WSAPoll waits in whole milliseconds: a timer
// is rounded up, never run early. The loop asks for a 1 ms timer period
// while it runs, so that a wait is not stretched to the 15.6 ms tick.
#include <winsock2.h>
#include <windows.h>
#include <timeapi.h>

#include <algorithm>
#include <vector>

#include "sim/event_loop.h"
#include "sim/windows_error.h"

namespace pyrrow::sim {
namespace {

class FineTimer {
public:
    FineTimer() : m_set(::timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~FineTimer()
    {
        if (m_set)
            ::timeEndPeriod(1);
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool m_set;
};

}  // namespace

bool EventLoop::Run(std::string* error)
{
    const FineTimer timer;
    std::vector<WSAPOLLFD> fds;
    std::vector<std::uint64_t> generations;
    while (!m_stopped) {
        const std::optional<Clock::time_point> next = RunDueTimers();
        if (m_stopped)
            break;
        fds.clear();
        generations.clear();
        for (const auto& [fd, w] : m_watched) {
            fds.push_back(WSAPOLLFD{static_cast<SOCKET>(fd), POLLRDNORM, 0});
            generations.push_back(w.generation);
        }
        INT timeout = -1;
        if (next) {
            const auto left = std::max(Clock::duration::zero(), *next - Clock::now());
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            timeout = static_cast<INT>(std::min<long long>(ms, 24LL * 3600 * 1000));
        }
        if (fds.empty()) {
            if (timeout < 0) {
                *error = "nothing left to wait for";
                return false;
            }
            ::Sleep(static_cast<DWORD>(timeout));  // WSAPoll takes no empty set
            continue;
        }
        const int ready = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout);
        if (ready == SOCKET_ERROR) {
            *error = "WSAPoll: " + WindowsErrorText(static_cast<unsigned long>(::WSAGetLastError()));
            return false;
        }
        for (std::size_t i = 0; i < fds.size() && !m_stopped; ++i) {
            if (fds[i].revents == 0)
                continue;
            // An earlier handler of this round may have removed or replaced it.
            const auto w = m_watched.find(static_cast<int>(fds[i].fd));
            if (w == m_watched.end() || w->second.generation != generations[i])
                continue;
            const unsigned events = ((fds[i].revents & POLLRDNORM) != 0 ? kReadable : 0u) |
                                    ((fds[i].revents & POLLHUP) != 0 ? kHangUp : 0u) |
                                    ((fds[i].revents & (POLLERR | POLLNVAL)) != 0 ? kError : 0u);
            const std::function<void(unsigned)> handler = w->second.handler;
            handler(events);
        }
    }
    return true;
}

}  // namespace pyrrow::sim
