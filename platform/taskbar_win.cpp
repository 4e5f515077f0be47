#include <windows.h>
#include <shobjidl.h>

#include "platform/taskbar.h"
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

class TaskbarList final : public TaskbarProgress {
public:
    TaskbarList(ITaskbarList3* list, HWND window, bool comStarted)
        : m_list(list), m_window(window), m_comStarted(comStarted)
    {
    }
    ~TaskbarList() override
    {
        m_list->Release();
        if (m_comStarted)
            ::CoUninitialize();
    }
    TaskbarList(const TaskbarList&) = delete;
    TaskbarList& operator=(const TaskbarList&) = delete;

    void SetProgressState(int state) override
    {
        Check("show the progress state on", m_list->SetProgressState(m_window, static_cast<TBPFLAG>(state)));
    }

    void SetProgressValue(std::uint64_t completed, std::uint64_t total) override
    {
        Check("show the progress on", m_list->SetProgressValue(m_window, completed, total));
    }

private:
    static void Check(const char* action, HRESULT result)
    {
        if (FAILED(result))
            ReportSystemError(kArea, action, u"the window's button", static_cast<unsigned long>(result));
    }

    ITaskbarList3* m_list;
    HWND m_window;
    bool m_comStarted;
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
