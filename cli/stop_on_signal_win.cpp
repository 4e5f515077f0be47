// Ctrl+C, Ctrl+Break and the console's closing reach a console control
// handler, which Windows calls on a thread of its own with nothing but the
// kind of event. The handler finds this run's stop event by its name (made
// of the process id) and sets it; the watcher, waiting on the event, makes
// the stop request from an ordinary thread, as on POSIX systems. Closing
// the console (and logging off, shutting down) ends the process once the
// handler returns: the handler waits, within the 5 s Windows grants, until
// the run has closed its ports.
#include <windows.h>

#include <string>

#include "cli/stop_on_signal.h"

namespace pyrrow::cli {
namespace {

constexpr DWORD kCloseGraceMs = 4500;

// "stop": a stop was asked for; "done": the run has ended.
std::wstring EventName(const wchar_t* what)
{
    return L"Local\\pyrrow-cli-" + std::wstring(what) + L"-" + std::to_wstring(::GetCurrentProcessId());
}

void SetNamedEvent(const wchar_t* what)
{
    const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(what).c_str());
    if (event == nullptr)
        return;
    ::SetEvent(event);
    ::CloseHandle(event);
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    SetNamedEvent(L"stop");
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        if (const HANDLE done = ::OpenEventW(SYNCHRONIZE, FALSE, EventName(L"done").c_str())) {
            ::WaitForSingleObject(done, kCloseGraceMs);
            ::CloseHandle(done);
        }
    }
    return TRUE;
}

}  // namespace

StopOnSignal::StopOnSignal(std::stop_source& stop) : m_stop(stop)
{
    const HANDLE request = ::CreateEventW(nullptr, FALSE, FALSE, EventName(L"stop").c_str());
    const HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, EventName(L"done").c_str());
    if (request == nullptr || done == nullptr) {
        // Without them Ctrl+C keeps its usual effect: it ends the process.
        for (const HANDLE event : {request, done})
            if (event != nullptr)
                ::CloseHandle(event);
        return;
    }
    m_watcher = std::thread([this, request, done] {
        // Each request wakes it; the destructor's wake, after the work, ends it.
        while (::WaitForSingleObject(request, INFINITE) == WAIT_OBJECT_0 && !m_finished.load()) {
            m_interrupted.store(true);
            m_stop.request_stop();
        }
        ::SetEvent(done);
        ::CloseHandle(done);
        ::CloseHandle(request);
    });
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopOnSignal::~StopOnSignal()
{
    // A request that came once the work was done is taken by the handler
    // until here rather than left to end the process: the run's result stands.
    m_finished.store(true);
    SetNamedEvent(L"stop");
    if (m_watcher.joinable())
        m_watcher.join();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace pyrrow::cli
