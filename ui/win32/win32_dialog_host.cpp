#include "ui/win32/win32_dialog_host.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>

#include "platform/windows_text.h"
#include "ui/win32/in_memory_template.h"

// <windows.h> turns these names into their A or W variants.
#undef MessageBox

namespace pyrrow::ui {
namespace {

using platform::DialogEvent;
using res::ControlKind;

// Asks the window's thread to run a function: sent, so the sender waits.
constexpr UINT kRunOnWindowThread = WM_APP + 1;
// A progress position from the worker: wParam the bar, lParam the position;
// shown unless the bar was set synchronously after it was posted.
constexpr UINT kPostedProgress = WM_APP + 2;

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    auto* host = reinterpret_cast<Win32DialogHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (host == nullptr)
        return FALSE;
    return host->HandleMessage(window, message, wParam, lParam) ? TRUE : FALSE;
}

}  // namespace

Win32DialogHost::Win32DialogHost(platform::CDialogBase* dialog, const res::DialogTemplate& dialogTemplate)
    : m_dialog(dialog), m_template(BuildDialogTemplate(dialogTemplate))
{
    for (const res::ControlTemplate& c : dialogTemplate.controls)
        m_kinds[c.id] = c.kind;
    m_dialog->AttachHost(this);
}

Win32DialogHost::~Win32DialogHost()
{
    m_dialog->AttachHost(nullptr);
}

int Win32DialogHost::RunModal()
{
    m_thread = ::GetCurrentThreadId();
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(m_template.data()),
                                  nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (result == -1)
        platform::ReportSystemError("window", "create", u"the dialog", ::GetLastError());
    return static_cast<int>(result);
}

bool Win32DialogHost::HandleMessage(HWND__* window, unsigned message, unsigned long long wParam, long long lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        m_window = window;
        // The result is the framework's: true puts the focus on the first control.
        return m_dialog->OnInitDialog();
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const auto kind = m_kinds.find(id);
        if (kind != m_kinds.end() && kind->second == ControlKind::DropDownList) {
            if (HIWORD(wParam) == CBN_SELCHANGE)
                m_dialog->OnEvent(DialogEvent::SelChange, id);
        } else if (HIWORD(wParam) == BN_CLICKED) {
            // Buttons, and Enter (IDOK) and Esc (IDCANCEL) from the keyboard.
            m_dialog->OnEvent(DialogEvent::Command, id);
        }
        return true;
    }
    case WM_CLOSE:
        m_dialog->OnEvent(DialogEvent::Close, 0);
        return true;
    case WM_DESTROY:
        m_dialog->OnEvent(DialogEvent::Destroy, 0);
        return true;
    case kRunOnWindowThread:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return true;
    case kPostedProgress:
        m_positionPending = false;
        if (m_postedGeneration == m_progressGeneration)
            ::SendDlgItemMessageW(m_window, static_cast<int>(wParam), PBM_SETPOS, static_cast<WPARAM>(m_postedPosition), 0);
        return true;
    default:
        return false;
    }
}

void Win32DialogHost::OnWindowThread(const std::function<void()>& f)
{
    if (::GetCurrentThreadId() == m_thread || m_window == nullptr) {
        f();
        return;
    }
    ::SendMessageW(m_window, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&f));
}

void Win32DialogHost::EnableControl(int id, bool enable)
{
    OnWindowThread([=, this] { ::EnableWindow(::GetDlgItem(m_window, id), enable ? TRUE : FALSE); });
}

bool Win32DialogHost::IsButtonChecked(int id)
{
    bool checked = false;
    OnWindowThread([&, this] { checked = ::IsDlgButtonChecked(m_window, id) == BST_CHECKED; });
    return checked;
}

void Win32DialogHost::CheckRadioButton(int first, int last, int id)
{
    OnWindowThread([=, this] { ::CheckRadioButton(m_window, first, last, id); });
}

void Win32DialogHost::SetControlText(int id, const std::u16string& text)
{
    OnWindowThread([&, this] { ::SetDlgItemTextW(m_window, id, platform::ToWide(text).c_str()); });
}

int Win32DialogHost::ListGetCount(int id)
{
    LRESULT count = 0;
    OnWindowThread([&, this] { count = ::SendDlgItemMessageW(m_window, id, CB_GETCOUNT, 0, 0); });
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

int Win32DialogHost::ListGetSelection(int id)
{
    LRESULT selection = CB_ERR;
    OnWindowThread([&, this] { selection = ::SendDlgItemMessageW(m_window, id, CB_GETCURSEL, 0, 0); });
    return selection == CB_ERR ? -1 : static_cast<int>(selection);
}

std::u16string Win32DialogHost::ListGetItemText(int id, int index)
{
    std::wstring text;
    OnWindowThread([&, this] {
        const auto item = static_cast<WPARAM>(index);
        const LRESULT length = ::SendDlgItemMessageW(m_window, id, CB_GETLBTEXTLEN, item, 0);
        if (index < 0 || length == CB_ERR)
            return;
        text.assign(static_cast<std::size_t>(length) + 1, L'\0');
        const LRESULT copied =
            ::SendDlgItemMessageW(m_window, id, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
        text.resize(copied == CB_ERR ? 0 : static_cast<std::size_t>(copied));
    });
    return platform::FromWide(text);
}

void Win32DialogHost::ListReset(int id)
{
    OnWindowThread([=, this] { ::SendDlgItemMessageW(m_window, id, CB_RESETCONTENT, 0, 0); });
}

void Win32DialogHost::ListAdd(int id, const std::u16string& text)
{
    OnWindowThread([&, this] {
        const std::wstring item = platform::ToWide(text);
        ::SendDlgItemMessageW(m_window, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    });
}

void Win32DialogHost::ListSelect(int id, int index)
{
    // -1 clears the selection.
    OnWindowThread([=, this] { ::SendDlgItemMessageW(m_window, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0); });
}

std::uint32_t Win32DialogHost::IpGetAddress(int id)
{
    DWORD address = 0;
    // Blank fields read as 0.
    OnWindowThread([&, this] {
        ::SendDlgItemMessageW(m_window, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    });
    return address;
}

void Win32DialogHost::IpSetAddress(int id, std::uint32_t address)
{
    OnWindowThread([=, this] { ::SendDlgItemMessageW(m_window, id, IPM_SETADDRESS, 0, address); });
}

void Win32DialogHost::ProgressSetRange(int id, int low, int high)
{
    OnWindowThread([=, this] {
        ++m_progressGeneration;
        ::SendDlgItemMessageW(m_window, id, PBM_SETRANGE32, static_cast<WPARAM>(low), high);
    });
}

void Win32DialogHost::ProgressSetPosition(int id, int position)
{
    OnWindowThread([=, this] {
        ++m_progressGeneration;
        ::SendDlgItemMessageW(m_window, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    });
}

void Win32DialogHost::ProgressPostPosition(int id, int position)
{
    if (::GetCurrentThreadId() == m_thread || m_window == nullptr)
        return ProgressSetPosition(id, position);
    // The worker does not wait: the newest value goes with the one message
    // on its way. Messages sent later are handled before posted ones, so a
    // synchronous setting of the bar makes the posted value stale.
    m_postedPosition = position;
    if (m_positionPending.exchange(true))
        return;
    m_postedGeneration = m_progressGeneration.load();
    ::PostMessageW(m_window, kPostedProgress, static_cast<WPARAM>(id), 0);
}

void Win32DialogHost::MessageBox(const std::u16string& text, const std::u16string& caption, unsigned style)
{
    OnWindowThread([&, this] {
        ::MessageBoxW(m_window, platform::ToWide(text).c_str(), platform::ToWide(caption).c_str(), style);
    });
}

std::optional<std::u16string> Win32DialogHost::ChooseFileToOpen(const platform::OpenFileRequest& request)
{
    std::optional<std::u16string> chosen;
    OnWindowThread([&, this] {
        // Pairs of name and pattern, each closed by a zero, and one more zero.
        std::wstring filter;
        for (const platform::FileFilter& f : request.filters)
            filter += platform::ToWide(f.name) + L'\0' + platform::ToWide(f.pattern) + L'\0';
        filter += L'\0';
        const std::wstring directory = platform::ToWide(request.initialDirectory);
        const std::wstring extension = platform::ToWide(request.defaultExtension);
        std::wstring path(32768, L'\0');
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = m_window;
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = path.data();
        dialog.nMaxFile = static_cast<DWORD>(path.size());
        dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
        dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
        if (!::GetOpenFileNameW(&dialog)) {
            if (const DWORD error = ::CommDlgExtendedError(); error != 0)
                platform::ReportSystemError("window", "open", u"the file dialog", error);
            return;
        }
        path.resize(path.find(L'\0'));
        chosen = platform::FromWide(path);
    });
    return chosen;
}

void Win32DialogHost::SetWindowIcon(int iconId)
{
    OnWindowThread([=, this] {
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        for (const auto& [which, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
            const int size = ::GetSystemMetrics(metric);
            const HANDLE icon = ::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_SHARED);
            if (icon == nullptr)
                platform::ReportSystemError("window", "load", u"the application icon", ::GetLastError());
            else
                ::SendMessageW(m_window, WM_SETICON, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(icon));
        }
    });
}

void Win32DialogHost::SetButtonBitmap(int id, int bitmapId)
{
    OnWindowThread([=, this] {
        const HANDLE bitmap =
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_SHARED);
        if (bitmap == nullptr)
            platform::ReportSystemError("window", "load", u"the refresh bitmap", ::GetLastError());
        else
            ::SendDlgItemMessageW(m_window, id, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    });
}

void Win32DialogHost::EndDialog(int result)
{
    OnWindowThread([=, this] { ::EndDialog(m_window, result); });
}

}  // namespace pyrrow::ui
