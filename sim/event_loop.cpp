#include "sim/event_loop.h"

namespace pyrrow::sim {

void EventLoop::Watch(int fd, std::function<void(unsigned)> handler)
{
    m_watched[fd] = Watched{m_nextGeneration++, std::move(handler)};
}

void EventLoop::Unwatch(int fd)
{
    m_watched.erase(fd);
}

EventLoop::TimerId EventLoop::At(Clock::time_point when, std::function<void()> handler)
{
    const TimerId id = m_nextTimer++;
    m_timers.emplace(std::make_pair(when, id), std::move(handler));
    m_timerTimes.emplace(id, when);
    return id;
}

void EventLoop::Cancel(TimerId id)
{
    const auto t = m_timerTimes.find(id);
    if (t == m_timerTimes.end())
        return;
    m_timers.erase(std::make_pair(t->second, id));
    m_timerTimes.erase(t);
}

std::optional<EventLoop::Clock::time_point> EventLoop::RunDueTimers()
{
    while (!m_timers.empty() && !m_stopped) {
        const auto first = m_timers.begin();
        if (first->first.first > Clock::now())
            return first->first.first;
        // The handler may add or cancel timers: take it out first.
        std::function<void()> handler = std::move(first->second);
        m_timerTimes.erase(first->first.second);
        m_timers.erase(first);
        handler();
    }
    return std::nullopt;
}

}  // namespace pyrrow::sim
