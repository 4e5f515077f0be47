#include <windows.h>
#include <shobjidl.h>

#include <atomic>

#include "platform/window/taskbar.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

constexpr const char* kArea = "taskbar";

// The calling thread's top-level window with a taskbar button of its own:
// the dialog (a message box has no button of its own).
BOOL CALLBACK TakeAppWindow(HWND window, LPARAM found)
{
    if ((::GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW) == 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The taskbar list belongs to the window's thread (a single-threaded
// apartment): calls from the worker go to a message-only window of that
// thread, posted so that the worker never waits. Of the values only the
// newest one not yet shown is kept.
constexpr UINT kShowState = WM_APP + 1;
constexpr UINT kShowValue = WM_APP + 2;
constexpr const wchar_t* kWindowClass = L"PyrrowTaskbarProgress";

class TaskbarList final : public TaskbarProgress {
public:
    TaskbarList(ITaskbarList3* list, HWND window, bool comStarted)
        : m_list(list), m_window(window), m_comStarted(comStarted)
    {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Receive;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        if (::RegisterClassExW(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            ReportSystemError(kArea, "register", u"the progress window class", ::GetLastError());
        m_receiver = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
        if (m_receiver == nullptr)
            ReportSystemError(kArea, "create", u"the progress window", ::GetLastError());
        else
            ::SetWindowLongPtrW(m_receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TaskbarList() override
    {
        if (m_receiver != nullptr)
            ::DestroyWindow(m_receiver);  // messages still on their way go with it
        m_list->Release();
        if (m_comStarted)
            ::CoUninitialize();
    }
    TaskbarList(const TaskbarList&) = delete;
    TaskbarList& operator=(const TaskbarList&) = delete;

    void SetProgressState(int state) override
    {
        if (m_receiver != nullptr)
            ::PostMessageW(m_receiver, kShowState, static_cast<WPARAM>(state), 0);
    }

    void SetProgressValue(std::uint64_t completed, std::uint64_t total) override
    {
        m_completed = completed;
        m_total = total;
        if (m_receiver != nullptr && !m_valuePending.exchange(true))
            ::PostMessageW(m_receiver, kShowValue, 0, 0);
    }

private:
    static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<TaskbarList*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr || (message != kShowState && message != kShowValue))
            return ::DefWindowProcW(window, message, wParam, lParam);
        if (message == kShowState) {
            Check("show the progress state on",
                  self->m_list->SetProgressState(self->m_window, static_cast<TBPFLAG>(wParam)));
        } else {
            self->m_valuePending = false;
            Check("show the progress on", self->m_list->SetProgressValue(self->m_window, self->m_completed, self->m_total));
        }
        return 0;
    }

    static void Check(const char* action, HRESULT result)
    {
        if (FAILED(result))
            ReportSystemError(kArea, action, u"the window's button", static_cast<unsigned long>(result));
    }

    ITaskbarList3* m_list;
    HWND m_window;
    bool m_comStarted;
    HWND m_receiver = nullptr;
    std::atomic<std::uint64_t> m_completed{0};
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<bool> m_valuePending{false};
};

}  // namespace

std::unique_ptr<TaskbarProgress> CreateTaskbarProgress()
{
    HWND window = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), TakeAppWindow, reinterpret_cast<LPARAM>(&window));
    if (window == nullptr)
        return nullptr;  // no window, no button
    const HRESULT started = ::CoInitialize(nullptr);
    const bool comStarted = SUCCEEDED(started);
    ITaskbarList3* list = nullptr;
    HRESULT result = ::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3,
                                        reinterpret_cast<void**>(&list));
    if (SUCCEEDED(result)) {
        result = list->HrInit();
        if (FAILED(result))
            list->Release();
    }
    if (FAILED(result)) {
        ReportSystemError(kArea, "create the taskbar list for", u"the window's button",
                          static_cast<unsigned long>(result));
        if (comStarted)
            ::CoUninitialize();
        return nullptr;
    }
    return std::make_unique<TaskbarList>(list, window, comStarted);
}

}  // namespace pyrrow::platform
