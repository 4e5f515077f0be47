// The stop signals are blocked in every thread and taken by one watcher with
// sigwait, so that no handler runs and the stop is requested from an
// ordinary thread. After the first, the watcher waits for the bound or a
// second one.
#include <pthread.h>
#include <signal.h>

#include <cerrno>

#include "platform/deadline.h"
#include "platform/process/stop_requests.h"

namespace pyrrow::platform {
namespace {

sigset_t StopSignals(QuitSignal quit)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // A closed terminal: the program ends as when stopped, with its result.
    sigaddset(&set, SIGHUP);
    if (quit == QuitSignal::Stops)
        sigaddset(&set, SIGQUIT);
    return set;
}

const char* SignalName(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    case SIGQUIT: return "SIGQUIT";
    default: return "SIGTERM";
    }
}

}  // namespace

struct StopRequests::System {
    sigset_t signals{};  // the signals that ask the program to stop
};

StopRequests::StopRequests(std::stop_source& stop, QuitSignal quit)
    : m_stop(stop), m_system(std::make_unique<System>())
{
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
    m_system->signals = StopSignals(quit);
    const sigset_t set = m_system->signals;
    if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0) {
        SetSystemError(&m_failure.emplace(), error, "blocking the stop signals");
        return;
    }
    m_watcher = std::thread([this, set] {
        std::optional<Deadline> deadline;
        for (;;) {
            int signal = 0;
            if (!deadline) {
                if (sigwait(&set, &signal) != 0)
                    return;
            } else {
                const timespec wait = deadline->Remaining();
                signal = sigtimedwait(&set, nullptr, &wait);
                if (signal < 0 && errno == EINTR)
                    continue;
                if (signal < 0) {
                    // The bound passed: the program is stuck, most likely on
                    // a write nobody reads.
                    if (m_finished.load())
                        return;
                    EndNow(m_exitCode.load());
                }
            }
            if (m_finished.load())
                return;
            if (deadline)
                EndNow(kStoppedExitCode);  // a second request: at once
            const char* expected = nullptr;
            m_what.compare_exchange_strong(expected, SignalName(signal));
            deadline = Deadline::In(kStopBound);
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
