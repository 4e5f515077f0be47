#include <pthread.h>
#include <signal.h>

#include "cli/stop_on_signal.h"

namespace pyrrow::cli {
namespace {

sigset_t StopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal: the run ends as when stopped, with its result.
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

// The signals are blocked in every thread and taken by one watcher with
// sigwait, so no handler runs and the stop request is made from an ordinary
// thread.
StopOnSignal::StopOnSignal(std::stop_source& stop) : m_stop(stop)
{
    // A reader of the output that goes away (a closed pipe, a CI log
    // collector that ended) must not kill the run mid-upload: the write
    // fails instead and the units end as they would.
    ::signal(SIGPIPE, SIG_IGN);
    // Likewise a trace that reaches the file size limit: the write fails
    // and the trace says so.
    ::signal(SIGXFSZ, SIG_IGN);
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    m_watcher = std::thread([this, set] {
        for (;;) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0 || m_finished.load())
                return;
            m_interrupted.store(true);
            m_stop.request_stop();
        }
    });
}

StopOnSignal::~StopOnSignal()
{
    m_finished.store(true);
    pthread_kill(m_watcher.native_handle(), SIGTERM);
    m_watcher.join();
    const sigset_t set = StopSignals();
    // A signal that came once the work was done is taken here rather than
    // left to kill the process: the run's result stands.
    sigset_t pending;
    sigpending(&pending);
    for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP})
        if (sigismember(&pending, stopSignal) == 1) {
            int signal = 0;
            sigwait(&set, &signal);
        }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace pyrrow::cli
