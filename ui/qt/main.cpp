// Pyrrow's entry point on a desktop with Qt.
#include <QApplication>

#include <clocale>
#include <optional>
#include <cstdio>

#include "app/program_info.h"
#include "app/pyrrow_app.h"
#include "app/pyrrow_dlg.h"
#include "platform/devices/hid.h"
#include "platform/process/command_line.h"
#include "platform/process/standard_streams.h"
#include "res/dialog_template.h"
#include "res/version.h"
#include "ui/qt/display_check.h"
#include "ui/notice_box.h"
#include "ui/qt/qt_dialog_host.h"
#include "xml/notice.h"

int main(int argc, char** argv)
{
    // A port opened later must not take the number of a closed stream.
    pyrrow::platform::OpenClosedStandardStreams();
    // Qt takes its own options (-platform, -style, -reverse ...) out of argv,
    // so the program's arguments are copied first.
    std::setlocale(LC_CTYPE, "");
    std::vector<std::u16string> arguments = pyrrow::platform::ProgramArguments(argc, argv);

    // What needs no window is answered without one.
    switch (pyrrow::InfoRequestOf(arguments)) {
    case pyrrow::InfoRequest::Help:
        std::fputs(pyrrow::WindowHelpText().c_str(), stdout);
        return 0;
    case pyrrow::InfoRequest::Version:
        std::printf("pyrrow %s\n", pyrrow::res::kVersion);
        return 0;
    case pyrrow::InfoRequest::None:
        break;
    }
    if (const auto missing = pyrrow::ui::MissingDisplay(argc, argv)) {
        std::fputs(missing->c_str(), stderr);
        return 1;
    }

    std::optional<pyrrow::ui::PlatformFailureGuard> guard(std::in_place);
    QApplication application(argc, argv);
    guard.reset();
    // The window belongs to the desktop entry that the taskbar progress names.
    QGuiApplication::setDesktopFileName(QStringLiteral("pyrrow"));
    // The settings document's notices (a damaged file) appear as message boxes.
    pyrrow::SetNoticeHandler(pyrrow::ui::ShowNoticeBox);

    CPyrrowApp app(std::move(arguments), [](CPyrrowDlg& dialog) {
        pyrrow::ui::QtDialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
        return host.RunModal();
    });
    app.InitInstance();
    pyrrow::platform::ShutdownHid();
    return 0;
}
