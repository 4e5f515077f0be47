#include "support/dialog_fixture.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "res/resource.h"

namespace pyrrow::test {

std::string Firmware(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

MessageBoxCall UploadError(const std::u16string& text, const std::u16string& caption)
{
    return {text, caption, platform::MB_ICONERROR};
}

DialogTest::DialogTest()
{
    dlg.AttachHost(&host);
    dlg.m_sleep = [this](unsigned ms) { sleeps.push_back(ms); };
    dlg.m_createTaskbar = [this]() -> std::unique_ptr<platform::TaskbarProgress> {
        return std::make_unique<RecordingTaskbar>(&taskbar);
    };
    dlg.m_enumeratePorts = [this] { return ports; };
    // Only the devices a test names exist.
    dlg.m_portExists = [this](const std::u16string& name) {
        return std::find(devices.begin(), devices.end(), name) != devices.end();
    };
    dlg.m_isConsolePort = [this](const std::u16string& name) {
        return std::find(consoles.begin(), consoles.end(), name) != consoles.end();
    };
    // No settings file unless a test names one: no program path, and no
    // folder of the user's own either.
    dlg.m_moduleFileName = [](platform::ModuleHandle) { return std::u16string(); };
    dlg.m_userConfigFolder = [] { return std::u16string(); };
    dlg.m_startThread = [this](std::function<void()> body) {
        return !threadsFail && dlg.m_worker.Start(std::move(body));
    };
}

DialogTest::~DialogTest() = default;

void DialogTest::Init(std::vector<std::u16string> list)
{
    ports = std::move(list);
    dlg.OnInitDialog();
}

void DialogTest::Upload()
{
    dlg.StartUpload();
    dlg.m_worker.Join();
}

void UploadTest::UseFirmware(const std::string& file)
{
    WriteBytes(dir.path() / "unit.fw", file);
    dlg.m_strFirmwarePath = dir.File("unit.fw");
}

void UploadTest::ShortenPauses()
{
    dlg.m_sleep = [this](unsigned ms) {
        sleeps.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms / 20));
    };
}

void UploadTest::ChooseTcp(std::uint32_t address, std::uint32_t port)
{
    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
    host.TypeIpAddress(IDC_IP_ADDRESS, address);
    dlg.m_tcpPort = port;
}

}  // namespace pyrrow::test
