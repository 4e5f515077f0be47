// The protocol's pauses of one worker, cut short when the run is asked to
// stop, so that an interrupted upload ends without sitting out its waits.
#pragma once

#include <chrono>
#include <functional>
#include <semaphore>
#include <stop_token>

namespace pyrrow::cli {

class StoppablePause {
public:
    explicit StoppablePause(std::stop_token stop)
        : m_stop(stop), m_wake(0), m_callback(m_stop, [this] { m_wake.release(); })
    {
    }
    StoppablePause(const StoppablePause&) = delete;
    StoppablePause& operator=(const StoppablePause&) = delete;

    void operator()(unsigned milliseconds)
    {
        if (m_stop.stop_requested())
            return;
        // Taken only when the stop came: give it back for the next pause.
        if (m_wake.try_acquire_for(std::chrono::milliseconds(milliseconds)))
            m_wake.release();
    }

private:
    std::stop_token m_stop;
    std::binary_semaphore m_wake;
    std::stop_callback<std::function<void()>> m_callback;
};

}  // namespace pyrrow::cli
