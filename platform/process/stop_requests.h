// The operator's request that the program stop: SIGINT, SIGTERM and SIGHUP
// (Ctrl+C, a stopped CI job, a closed terminal), and SIGQUIT where a program
// takes it, on POSIX systems; the console's Ctrl+C, Ctrl+Break, closing,
// logoff and shutdown on Windows. One per program. It turns a request into a
// stop of the program's std::stop_source, made from an ordinary thread, so
// that each worker or loop ends between two steps and closes what it holds.
// A stop always ends the process: one that has not ended kStopBound after
// the request (a write to a reader that stopped reading never returns) is
// ended with the code it set, and a second request ends it at once with
// 130; either way after the sync it was given. One source file per system
// (stop_requests_posix.cpp, stop_requests_win.cpp) and the shared part.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/system_error.h"

namespace pyrrow::platform {

// How long a stopped program may take to end: far above what closing ports
// and files takes, short enough for a job that waits for it.
inline constexpr std::chrono::milliseconds kStopBound{5000};
// The code of a process ended by a second request, or by a stop that
// overran the bound before the program set one: interrupted.
inline constexpr int kStoppedExitCode = 130;

// Which signals stop the program (POSIX): SIGQUIT too, or it keeps its
// usual effect (a core dump).
enum class QuitSignal { Default, Stops };

class StopRequests {
public:
    // Create on the first line of main, before any other thread starts:
    // threads inherit what this does to the signals, and a request that
    // comes while the program starts is taken like any other. SIGPIPE and
    // SIGXFSZ are ignored from then on: a reader that went away or a file
    // at its size limit makes the write fail, and the program says so,
    // instead of ending it.
    explicit StopRequests(std::stop_source& stop, QuitSignal quit = QuitSignal::Default);
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

    // The code the program would end with now, kept up to date by it: the
    // process ends with it when a stop overran the bound. kStoppedExitCode
    // until set.
    void SetExitCode(int code) { m_exitCode.store(code); }
    // While the returned object lives, sync runs on the watcher's thread
    // before the process is ended by a stop that overran the bound or by a
    // second request (the records' sync). Whatever it uses must outlive
    // the object.
    class FinalSync {
    public:
        explicit FinalSync(StopRequests& requests) : m_requests(requests) {}
        ~FinalSync() { m_requests.SetFinalSync({}); }
        FinalSync(const FinalSync&) = delete;
        FinalSync& operator=(const FinalSync&) = delete;

    private:
        StopRequests& m_requests;
    };
    [[nodiscard]] FinalSync KeepSynced(std::function<void()> sync)
    {
        SetFinalSync(std::move(sync));
        return FinalSync(*this);
    }

private:
    void SetFinalSync(std::function<void()> sync);
    // Ends the process with code after the final sync.
    [[noreturn]] void EndNow(int code);

    std::stop_source& m_stop;
    std::optional<SystemError> m_failure;
    std::atomic<const char*> m_what{nullptr};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_exitCode{kStoppedExitCode};
    std::mutex m_syncMutex;
    std::function<void()> m_sync;
    std::thread m_watcher;
    // What the system's own watch holds (the signals watched; the console's
    // events), defined by each system's source.
    struct System;
    std::unique_ptr<System> m_system;
};

}  // namespace pyrrow::platform
