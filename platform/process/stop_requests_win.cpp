// The console's control events (Ctrl+C, Ctrl+Break, its closing, logoff,
// shutdown) reach a handler that Windows calls on a thread of its own with
// nothing but the kind of event. The handler finds the event object of that
// kind by its name (made of the process id) and sets it; the watcher,
// waiting on those objects, requests the stop from an ordinary thread.
// Closing the console (and logging off, shutting down) ends the process
// once the handler returns: the handler waits, within the 5 s Windows
// grants, until the program has closed its ports and files. After the first
// request the watcher waits for the bound or a second one.
#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "platform/process/stop_requests.h"

namespace pyrrow::platform {
namespace {

struct Request {
    DWORD type;
    const char* name;
};

constexpr std::array<Request, 5> kRequests = {{
    {CTRL_C_EVENT, "Ctrl+C"},
    {CTRL_BREAK_EVENT, "Ctrl+Break"},
    {CTRL_CLOSE_EVENT, "the console closing"},
    {CTRL_LOGOFF_EVENT, "the user logging off"},
    {CTRL_SHUTDOWN_EVENT, "Windows shutting down"},
}};
constexpr std::size_t kDone = kRequests.size();

constexpr DWORD kCloseGraceMs = 4500;

// index: a request's, or kDone for "the program is done".
std::wstring EventName(std::size_t index)
{
    return L"Local\\pyrrow-stop-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(index);
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    std::size_t index = 0;
    while (index < kRequests.size() && kRequests[index].type != type)
        ++index;
    if (index == kRequests.size())
        return FALSE;  // not a request we take: the default ends the process
    const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(index).c_str());
    if (event == nullptr)
        return FALSE;
    ::SetEvent(event);
    ::CloseHandle(event);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        if (const HANDLE done = ::OpenEventW(SYNCHRONIZE, FALSE, EventName(kDone).c_str())) {
            ::WaitForSingleObject(done, kCloseGraceMs);
            ::CloseHandle(done);
        }
    }
    return TRUE;
}

}  // namespace

// An event for each kind of console request, which the console's handler
// sets, and one set when the program is done.
struct StopRequests::System {
    std::array<HANDLE, kDone + 1> events{};
};

StopRequests::StopRequests(std::stop_source& stop, QuitSignal) : m_stop(stop), m_system(std::make_unique<System>())
{
    for (std::size_t i = 0; i < m_system->events.size(); ++i) {
        // Auto-reset for the requests, so that each wakes the watcher once;
        // "done" stays set for every handler that waits.
        m_system->events[i] = ::CreateEventW(nullptr, i == kDone, FALSE, EventName(i).c_str());
        if (m_system->events[i] == nullptr) {
            CaptureSystemError(&m_failure.emplace(), "making the events for the console's stop requests");
            return;
        }
    }
    m_watcher = std::thread([this] {
        std::optional<std::chrono::steady_clock::time_point> deadline;
        for (;;) {
            DWORD wait = INFINITE;
            if (deadline) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    *deadline - std::chrono::steady_clock::now());
                wait = static_cast<DWORD>(std::max<long long>(0, left.count()));
            }
            const DWORD r =
                ::WaitForMultipleObjects(static_cast<DWORD>(kRequests.size()), m_system->events.data(), FALSE, wait);
            if (r == WAIT_TIMEOUT && !m_finished.load())
                EndNow(m_exitCode.load());  // stuck, most likely on a write nobody reads
            // The destructor's wake, after the work, ends it.
            if (r >= WAIT_OBJECT_0 + kRequests.size() || m_finished.load())
                return;
            if (deadline)
                EndNow(kStoppedExitCode);  // a second request: at once
            const char* expected = nullptr;
            m_what.compare_exchange_strong(expected, kRequests[r - WAIT_OBJECT_0].name);
            deadline = std::chrono::steady_clock::now() + kStopBound;
            m_stop.request_stop();
        }
    });
    if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE))
        CaptureSystemError(&m_failure.emplace(), "SetConsoleCtrlHandler");
}

StopRequests::~StopRequests()
{
    // A request that came once the work was done is taken by the handler
    // until here rather than left to end the process.
    m_finished.store(true);
    if (m_system->events[0] != nullptr)
        ::SetEvent(m_system->events[0]);
    if (m_watcher.joinable())
        m_watcher.join();
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    if (m_system->events[kDone] != nullptr)
        ::SetEvent(m_system->events[kDone]);
    for (void* event : m_system->events)
        if (event != nullptr)
            ::CloseHandle(event);
}

}  // namespace pyrrow::platform
