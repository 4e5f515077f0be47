// The stop signals are blocked in every thread and taken by one watcher with
// sigwait, so that no handler runs and the stop is requested from an
// ordinary thread.
#include <pthread.h>
#include <signal.h>

#include <cerrno>

#include "platform/stop_requests.h"

namespace pyrrow::platform {
namespace {

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal: the program ends as when stopped, with its result.
    sigaddset(&set, SIGHUP);
    return set;
}

const char* SignalName(int signal)
{
    return signal == SIGINT ? "SIGINT" : signal == SIGHUP ? "SIGHUP" : "SIGTERM";
}

}  // namespace

StopRequests::StopRequests(std::stop_source& stop) : m_stop(stop)
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    const sigset_t set = StopSignals();
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
        SetSystemError(&m_failure.emplace(), error, "blocking SIGINT, SIGTERM and SIGHUP");
        return;
    }
    m_watcher = std::thread([this, set] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0 || m_finished.load())
                return;
            const char* expected = nullptr;
            m_what.compare_exchange_strong(expected, SignalName(signal));
            m_stop.request_stop();
        }
    });
}

StopRequests::~StopRequests()
{
    if (!m_watcher.joinable())
        return;
    m_finished.store(true);
    pthread_kill(m_watcher.native_handle(), SIGTERM);
    m_watcher.join();
    // The signals stay blocked: one that comes once the work is done stays
    // pending, unseen, and the process ends with its result. (Unblocked,
    // one that came a moment later would still kill it.)
}

}  // namespace pyrrow::platform
