// Pyrrow's entry point on Windows.
#include <string>
#include <utility>
#include <vector>

#include "app/program_info.h"
#include "app/pyrrow_app.h"
#include "app/pyrrow_dlg.h"
#include "platform/devices/hid.h"
#include "platform/process/command_line.h"
#include "platform/process/standard_streams.h"
#include "platform/utf.h"
#include "res/dialog_template.h"
#include "res/version.h"
#include "ui/notice_box.h"
#include "ui/win32/win32_dialog_host.h"
#include "xml/notice.h"

// After the program's headers: its macros (MB_OK, MessageBox ...) would
// rename what they declare.
#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    pyrrow::platform::OpenClosedStandardStreams();
    // --help and --version: a program without a console answers in a message box.
    std::vector<std::u16string> arguments = pyrrow::platform::ProgramArguments(0, nullptr);
    if (const pyrrow::InfoRequest request = pyrrow::InfoRequestOf(arguments); request != pyrrow::InfoRequest::None) {
        const std::string text = request == pyrrow::InfoRequest::Help ? pyrrow::WindowHelpText()
                                                                      : std::string("pyrrow ") + pyrrow::res::kVersion;
        const std::u16string wide = pyrrow::platform::Utf8ToUtf16Lossy(text);
        ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(wide.c_str()), L"Pyrrow", MB_OK | MB_ICONINFORMATION);
        return 0;
    }

    // The dialog's controls, the IP-address field and the progress bar among them.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The settings document's notices (a damaged file) appear as message boxes.
    pyrrow::SetNoticeHandler(pyrrow::ui::ShowNoticeBox);

    CPyrrowApp app(std::move(arguments), [](CPyrrowDlg& dialog) {
        pyrrow::ui::Win32DialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
        return host.RunModal();
    });
    app.InitInstance();
    pyrrow::platform::ShutdownHid();
    return 0;
}
