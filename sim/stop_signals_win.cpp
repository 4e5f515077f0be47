// The console's control events (Ctrl+C, Ctrl+Break, its closing, logoff,
// shutdown) reach a handler that Windows calls on a thread of its own with
// nothing but the kind of event. The handler finds the event object of that
// kind by its name (made of the process id) and sets it; a watcher thread
// waits on those objects and passes each request on as a byte through a
// loopback socket, which the event loop watches. Closing the console (and
// logging off, shutting down) ends the process once the handler returns:
// the handler waits, within the 5 s Windows grants, until the simulator has
// closed its files.
#include <winsock2.h>
#include <windows.h>

#include <array>
#include <thread>

#include "sim/socket_pair.h"
#include "sim/stop_signals.h"
#include "sim/windows_error.h"

namespace pyrrow::sim {
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

constexpr DWORD kCloseGraceMs = 4500;

std::wstring EventName(DWORD type)
{
    return L"Local\\pyrrow-sim-stop-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(type);
}

// Set when the simulator has ended.
std::wstring DoneEventName()
{
    return L"Local\\pyrrow-sim-done-" + std::to_wstring(::GetCurrentProcessId());
}

BOOL WINAPI OnConsoleControl(DWORD type)
{
    const HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(type).c_str());
    if (event == nullptr)
        return FALSE;  // not a request we take: the default ends the process
    ::SetEvent(event);
    ::CloseHandle(event);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        if (const HANDLE done = ::OpenEventW(SYNCHRONIZE, FALSE, DoneEventName().c_str())) {
            ::WaitForSingleObject(done, kCloseGraceMs);
            ::CloseHandle(done);
        }
    }
    return TRUE;
}

class ConsoleControl final : public StopSignals {
public:
    ~ConsoleControl() override
    {
        ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
        if (m_finished != nullptr)
            ::SetEvent(m_finished);
        if (m_watcher.joinable())
            m_watcher.join();
        for (HANDLE event : m_events)
            if (event != nullptr)
                ::CloseHandle(event);
        if (m_finished != nullptr)
            ::CloseHandle(m_finished);
        CloseSocket(m_pair.reader);
        CloseSocket(m_pair.writer);
        if (m_done != nullptr) {
            ::SetEvent(m_done);
            ::CloseHandle(m_done);
        }
    }

    bool Open(std::string* error)
    {
        m_pair = MakeSocketPair(error);
        if (m_pair.reader < 0)
            return false;
        m_finished = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_done = ::CreateEventW(nullptr, TRUE, FALSE, DoneEventName().c_str());
        for (std::size_t i = 0; i < kRequests.size(); ++i)
            m_events[i] = ::CreateEventW(nullptr, FALSE, FALSE, EventName(kRequests[i].type).c_str());
        for (HANDLE event : m_events)
            if (event == nullptr || m_finished == nullptr || m_done == nullptr) {
                *error = "cannot make the events for the console's stop requests: " +
                         WindowsErrorText(::GetLastError());
                return false;
            }
        m_watcher = std::thread([this] { Watch(); });
        if (!::SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
            *error = "SetConsoleCtrlHandler: " + WindowsErrorText(::GetLastError());
            return false;
        }
        return true;
    }

    int Fd() const override { return m_pair.reader; }

    std::string Take() override
    {
        unsigned char index = 0;
        if (::recv(static_cast<SOCKET>(m_pair.reader), reinterpret_cast<char*>(&index), 1, 0) != 1 ||
            index >= kRequests.size())
            return {};
        return kRequests[index].name;
    }

private:
    void Watch()
    {
        std::array<HANDLE, kRequests.size() + 1> waits{};
        std::copy(m_events.begin(), m_events.end(), waits.begin());
        waits.back() = m_finished;
        for (;;) {
            const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, INFINITE);
            if (r >= WAIT_OBJECT_0 + kRequests.size())
                return;  // finished, or the wait failed
            const auto index = static_cast<char>(r - WAIT_OBJECT_0);
            if (::send(static_cast<SOCKET>(m_pair.writer), &index, 1, 0) != 1)
                return;
        }
    }

    SocketPair m_pair;
    std::array<HANDLE, kRequests.size()> m_events{};
    HANDLE m_finished = nullptr;
    HANDLE m_done = nullptr;
    std::thread m_watcher;
};

}  // namespace

std::unique_ptr<StopSignals> StopSignals::Open(std::string* error)
{
    auto control = std::make_unique<ConsoleControl>();
    if (!control->Open(error))
        return nullptr;
    return control;
}

}  // namespace pyrrow::sim
