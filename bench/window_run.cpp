// The real window for the upload measurement: the Qt host of the program,
// a click on "Nahrát", and the event loop until the worker is done.
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <memory>

#include "bench/measure.h"
#include "res/dialog_template.h"
#include "res/resource.h"
#include "ui/qt/qt_dialog_host.h"

WindowRun RealWindow(int argc, char** argv)
{
    // The application lives as long as the run it serves, and goes before
    // the program's end takes the libraries' own statics away.
    static int count = argc;
    auto application = std::make_shared<QApplication>(count, argv);
    return [application](CPyrrowDlg& dialog, const std::u16string& port) {
        dialog.m_enumeratePorts = [port] { return std::vector<std::u16string>{port}; };
        dialog.m_moduleFileName = [](pyrrow::platform::ModuleHandle) { return std::u16string(); };
        dialog.m_userConfigFolder = [] { return std::u16string(); };
        const std::u16string firmware = dialog.m_strFirmwarePath;
        pyrrow::ui::QtDialogHost host(&dialog, pyrrow::res::MainDialogTemplate());
        dialog.AttachHost(&host);
        dialog.OnInitDialog();
        dialog.m_strFirmwarePath = firmware;
        host.show();
        QCoreApplication::processEvents();

        const double cpuBefore = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        dialog.OnEvent(pyrrow::platform::DialogEvent::Command, IDOK);
        QTimer tick;
        tick.start(20);  // wakes the loop to look at the flag
        while (dialog.m_bBusy != 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const Figures figures{wall, CpuSeconds() - cpuBefore, 0};
        dialog.m_worker.Join();
        dialog.OnEvent(pyrrow::platform::DialogEvent::Destroy, 0);
        return figures;
    };
}
