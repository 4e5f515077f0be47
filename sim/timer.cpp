#include "sim/timer.h"

namespace pyrrow::sim {

void Timer::At(Clock::time_point when, std::function<void()> handler)
{
    Cancel();
    const std::uint64_t turn = ++*m_turn;
    m_timer.expires_at(when);
    m_timer.async_wait([turn, current = std::weak_ptr<std::uint64_t>(m_turn),
                        handler = std::move(handler)](const std::error_code&) {
        const std::shared_ptr<std::uint64_t> now = current.lock();
        if (!now || *now != turn)
            return;
        ++*now;  // the handler may start the timer again
        handler();
    });
}

void Timer::Cancel()
{
    if (*m_turn % 2 == 1) {  // a handler waits
        ++*m_turn;
        m_timer.cancel();
    }
}

}  // namespace pyrrow::sim
