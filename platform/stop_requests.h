// The operator's request that the program stop: SIGINT, SIGTERM and SIGHUP
// (Ctrl+C, a stopped CI job, a closed terminal) on POSIX systems; the
// console's Ctrl+C, Ctrl+Break, closing, logoff and shutdown on Windows.
// One per program. It turns a request into a stop of the program's
// std::stop_source, made from an ordinary thread, so that each worker or
// loop ends between two steps and closes what it holds. One source file
// per system (stop_requests_posix.cpp, stop_requests_win.cpp).
#pragma once

#include <array>
#include <atomic>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/system_error.h"

namespace pyrrow::platform {

class StopRequests {
public:
    // Create before any other thread starts: threads inherit what this does
    // to the signals. SIGPIPE and SIGXFSZ are ignored from then on: a
    // reader that went away or a file at its size limit makes the write
    // fail, and the program says so, instead of ending it.
    explicit StopRequests(std::stop_source& stop);
    // Ends the watch. A request that comes once the work is done is taken
    // rather than left to end the process: the result stands. On Windows a
    // closing console waits (within the 5 s it grants) until here.
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // Why requests cannot be watched (they then keep their usual effect:
    // they end the process), or nothing.
    const std::optional<SystemError>& Failure() const { return m_failure; }
    bool Requested() const { return m_what.load() != nullptr; }
    // What asked to stop ("SIGTERM", "Ctrl+C", "the console closing"), or
    // "" while nothing did.
    std::string What() const
    {
        const char* what = m_what.load();
        return what != nullptr ? what : "";
    }

private:
    std::stop_source& m_stop;
    std::optional<SystemError> m_failure;
    std::atomic<const char*> m_what{nullptr};
    std::atomic<bool> m_finished{false};
    std::thread m_watcher;
    // Windows: an event for each kind of console request, which the
    // console's handler sets, and one set when the program is done.
    [[maybe_unused]] std::array<void*, 6> m_events{};
};

}  // namespace pyrrow::platform
