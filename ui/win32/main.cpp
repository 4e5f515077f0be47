// Pyrrow's entry point on Windows.
#include "app/pyrrow_app.h"
#include "app/pyrrow_dlg.h"
#include "platform/command_line.h"
#include "platform/hid.h"
#include "res/dialog_template.h"
#include "ui/win32/notice_box.h"
#include "ui/win32/win32_dialog_host.h"
#include "xml/notice.h"

// After the program's headers: its macros (MB_OK, MessageBox ...) would
// rename what they declare.
#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // The dialog's controls, the IP-address field and the progress bar among them.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES};
    ::InitCommonControlsEx(&controls);
    // The settings document's notices (a damaged file) appear as message boxes.
    pyrrow::SetNoticeHandler(pyrrow::ui::ShowNoticeBox);

    CPyrrowApp app(pyrrow::platform::ProgramArguments(0, nullptr), [](CPyrrowDlg& dialog) {
        pyrrow::ui::Win32DialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
        return host.RunModal();
    });
    app.InitInstance();
    pyrrow::platform::ShutdownHid();
    return 0;
}
