// The simulator's one thread: waits on descriptors and timers and calls
// their handlers, nothing else. Handlers may add and remove descriptors and
// timers, their own included. One source file per operating system
// implements the wait (event_loop_posix.cpp, event_loop_win.cpp: there
// every descriptor is a socket).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace pyrrow::sim {

class EventLoop {
public:
    using Clock = std::chrono::steady_clock;
    using TimerId = std::uint64_t;

    // What a watched descriptor reports to its handler.
    static constexpr unsigned kReadable = 1;
    static constexpr unsigned kHangUp = 2;  // the other end went away
    static constexpr unsigned kError = 4;

    // Calls handler while fd is readable (or hung up, or failed) with what
    // it reports. Watching an fd again replaces its handler.
    void Watch(int fd, std::function<void(unsigned events)> handler);
    void Unwatch(int fd);

    // Calls handler once at the time given; Cancel before that prevents it.
    TimerId At(Clock::time_point when, std::function<void()> handler);
    TimerId After(Clock::duration delay, std::function<void()> handler) { return At(Clock::now() + delay, std::move(handler)); }
    void Cancel(TimerId id);

    // Run returns after the handler that called Stop.
    void Stop() { m_stopped = true; }

    // Waits and dispatches until Stop. False when the wait itself failed,
    // with the system's reason in *error.
    bool Run(std::string* error);

private:
    struct Watched {
        std::uint64_t generation;
        std::function<void(unsigned)> handler;
    };

    // Runs the timers that are due; returns the time of the next one.
    std::optional<Clock::time_point> RunDueTimers();

    std::map<int, Watched> m_watched;
    std::map<std::pair<Clock::time_point, TimerId>, std::function<void()>> m_timers;
    std::map<TimerId, Clock::time_point> m_timerTimes;
    std::uint64_t m_nextGeneration = 1;
    TimerId m_nextTimer = 1;
    bool m_stopped = false;
};

}  // namespace pyrrow::sim
