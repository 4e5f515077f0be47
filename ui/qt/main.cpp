// Pyrrow's entry point on a desktop with Qt.
#include <QApplication>

#include "app/pyrrow_dlg.h"
#include "platform/hid.h"
#include "res/dialog_template.h"
#include "ui/qt/qt_dialog_host.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The window belongs to the desktop entry that the taskbar progress names.
    QGuiApplication::setDesktopFileName(QStringLiteral("pyrrow"));
    CPyrrowDlg dialog;
    {
        pyrrow::ui::QtDialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
        host.RunModal();
    }
    pyrrow::platform::ShutdownHid();
    return 0;
}
