// SIGINT, SIGTERM and SIGHUP (Ctrl+C, a stopped CI job, a closed terminal) become a stop request for
// every worker, so that each ends between blocks and closes its port. One
// source file per system (stop_on_signal_posix.cpp, stop_on_signal_win.cpp:
// the console's Ctrl+C, Ctrl+Break and closing).
#pragma once

#include <atomic>
#include <stop_token>
#include <thread>

namespace pyrrow::cli {

class StopOnSignal {
public:
    // Create before any worker starts: the workers inherit what this does
    // to the signals.
    explicit StopOnSignal(std::stop_source& stop);
    // Ends the watch and gives the signals back their usual effect.
    ~StopOnSignal();
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // A signal asked the run to stop.
    bool Interrupted() const { return m_interrupted.load(); }

private:
    std::stop_source& m_stop;
    std::atomic<bool> m_interrupted{false};
    std::atomic<bool> m_finished{false};
    std::thread m_watcher;
};

}  // namespace pyrrow::cli
