// Handlers of the simulator's io_context that run only while they still
// count: asio runs a handler that was due already when its timer was
// cancelled or its descriptor closed (only without an error), even when its
// owner has gone since. A Timer whose cancelling is exact, and a guard for
// the handlers of descriptors and sockets.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

namespace pyrrow::sim {

// A one-shot timer: a handler cancelled, replaced by the next At, or whose
// Timer has gone never runs.

class Timer {
public:
    using Clock = std::chrono::steady_clock;

    explicit Timer(asio::io_context& io) : m_timer(io) {}

    void At(Clock::time_point when, std::function<void()> handler);
    void After(Clock::duration delay, std::function<void()> handler) { At(Clock::now() + delay, std::move(handler)); }
    void Cancel();

private:
    asio::steady_timer m_timer;
    // Odd while a handler waits; each At and Cancel moves it on.
    std::shared_ptr<std::uint64_t> m_turn = std::make_shared<std::uint64_t>(0);
};

// Wraps a completion handler so that it runs only while alive lives (an
// owner holds it beside its descriptor and drops it with it).
template <class Handler>
auto WhileAlive(const std::shared_ptr<char>& alive, Handler handler)
{
    return [alive = std::weak_ptr<char>(alive), handler = std::move(handler)](auto&&... args) mutable {
        if (!alive.expired())
            handler(std::forward<decltype(args)>(args)...);
    };
}

}  // namespace pyrrow::sim
