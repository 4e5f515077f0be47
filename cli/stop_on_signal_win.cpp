// Ctrl+C, Ctrl+Break and the console's closing reach a console control
// handler, which Windows calls on a thread of its own with nothing but the
// kind of event. The handler finds this run's stop event by its name (made
// of the process id) and sets it; the watcher, waiting on the event, makes
// the stop request from an ordinary thread, as on POSIX systems.
#include <windows.h>

#include <string>

#include "cli/stop_on_signal.h"

namespace pyrrow::cli {
namespace {

std::wstring StopEventName()
{
    return L"Local\\pyrrow-cli-stop-" + std::to_wstring(::GetCurrentProcessId());
}

// Set once and left set: a stop request is not taken back.
void SetStopEvent()
{
    const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, StopEventName().c_str());
    if (event == nullptr)
        return;
    ::SetEvent(event);
    ::CloseHandle(event);
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    SetStopEvent();
    return TRUE;
}

}  // namespace

StopOnSignal::StopOnSignal(std::stop_source& stop) : m_stop(stop)
{
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, StopEventName().c_str());
    if (event == nullptr)
        return;  // without the event Ctrl+C keeps its usual effect: it ends the process
    m_watcher = std::thread([this, event] {
        ::WaitForSingleObject(event, INFINITE);
        if (!m_finished.load()) {
            m_interrupted.store(true);
            m_stop.request_stop();
        }
        ::CloseHandle(event);
    });
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopOnSignal::~StopOnSignal()
{
    // A request that came once the work was done is taken by the handler
    // until here rather than left to end the process: the run's result stands.
    m_finished.store(true);
    SetStopEvent();
    if (m_watcher.joinable())
        m_watcher.join();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

}  // namespace pyrrow::cli
