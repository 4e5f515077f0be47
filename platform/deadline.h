// One point in time by which a wait must end, on the monotonic clock. Waits
// recompute what remains from it after every interruption or partial
// transfer, so that no wait stretches past its limit. A wait that can be
// stopped also looks at its stop token at least every kStopLook.
#pragma once

#include <time.h>

#include <chrono>
#include <stop_token>

namespace pyrrow::platform {

// How long a stoppable wait may go without looking whether it was asked to
// stop: a stop request ends every wait well within 0.2 s.
inline constexpr std::chrono::milliseconds kStopLook{50};

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    static Deadline In(Clock::duration d) { return Deadline(Clock::now() + d); }
    static Deadline Never() { return Deadline(Clock::time_point::max()); }
    static Deadline Earlier(const Deadline& a, const Deadline& b) { return a.m_at < b.m_at ? a : b; }

    bool IsInfinite() const { return m_at == Clock::time_point::max(); }
    bool Passed() const { return !IsInfinite() && Clock::now() >= m_at; }

    // The end of the next stretch of a wait: the deadline itself, or
    // kStopLook from now when a stop may be asked and that comes first.
    Deadline NextLook(const std::stop_token& stop) const
    {
        return stop.stop_possible() ? Earlier(*this, In(kStopLook)) : *this;
    }

    // What remains, never negative; meaningless when infinite.
    timespec Remaining() const
    {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(m_at - Clock::now());
        const auto ns = left.count() > 0 ? left.count() : 0;
        return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    }

private:
    explicit Deadline(Clock::time_point at) : m_at(at) {}
    Clock::time_point m_at;
};

}  // namespace pyrrow::platform
