// The wait of the event loop on POSIX systems: ppoll, so that timers keep
// sub-millisecond time (the serial line's pacing needs it).
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "sim/event_loop.h"

namespace pyrrow::sim {

bool EventLoop::Run(std::string* error)
{
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> generations;
    while (!m_stopped) {
        const std::optional<Clock::time_point> next = RunDueTimers();
        if (m_stopped)
            break;
        fds.clear();
        generations.clear();
        for (const auto& [fd, w] : m_watched) {
            fds.push_back(pollfd{fd, POLLIN, 0});
            generations.push_back(w.generation);
        }
        timespec wait{};
        timespec* timeout = nullptr;
        if (next) {
            const auto left = std::max(Clock::duration::zero(), *next - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &wait;
        }
        if (fds.empty() && timeout == nullptr) {
            *error = "nothing left to wait for";
            return false;
        }
        const int ready = ::ppoll(fds.data(), fds.size(), timeout, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            *error = std::string("poll: ") + std::strerror(errno);
            return false;
        }
        for (std::size_t i = 0; i < fds.size() && !m_stopped; ++i) {
            if (fds[i].revents == 0)
                continue;
            // An earlier handler of this round may have removed or replaced it.
            const auto w = m_watched.find(fds[i].fd);
            if (w == m_watched.end() || w->second.generation != generations[i])
                continue;
            const unsigned events = ((fds[i].revents & POLLIN) != 0 ? kReadable : 0u) |
                                    ((fds[i].revents & POLLHUP) != 0 ? kHangUp : 0u) |
                                    ((fds[i].revents & (POLLERR | POLLNVAL)) != 0 ? kError : 0u);
            const std::function<void(unsigned)> handler = w->second.handler;
            handler(events);
        }
    }
    return true;
}

}  // namespace pyrrow::sim
