#include "support/dialog_fixture.h"

namespace pyrrow::test {

DialogTest::DialogTest()
{
    dlg.AttachHost(&host);
    dlg.m_sleep = [this](unsigned ms) { sleeps.push_back(ms); };
    dlg.m_createTaskbar = [this]() -> std::unique_ptr<platform::TaskbarProgress> {
        return std::make_unique<RecordingTaskbar>(&taskbar);
    };
    dlg.m_enumeratePorts = [this] { return ports; };
    // No settings file unless a test names one.
    dlg.m_moduleFileName = [](platform::ModuleHandle) { return std::u16string(); };
    dlg.m_startThread = [this](std::function<void()> body) {
        if (threadsFail)
            return false;
        worker = std::thread(std::move(body));
        return true;
    };
}

DialogTest::~DialogTest()
{
    if (worker.joinable())
        worker.join();
}

void DialogTest::Init(std::vector<std::u16string> list)
{
    ports = std::move(list);
    dlg.OnInitDialog();
}

void DialogTest::Upload()
{
    dlg.StartUpload();
    if (worker.joinable())
        worker.join();
}

}  // namespace pyrrow::test
