// The serial upload through a real COM port: the program's port and the
// device's are the two ends of a null-modem pair (with_null_modem.sh), and
// the device plays its part through the Win32 serial calls in a thread of
// its own.
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/windows_text.h"
#include "res/resource.h"
#include "support/dialog_fixture.h"

// After the program's headers, whose names its macros would rename.
#include <windows.h>

namespace {

using namespace std::chrono_literals;
using namespace pyrrow::test;

std::u16string PortFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    const std::string text = value != nullptr ? value : "";
    return std::u16string(text.begin(), text.end());
}

// The device end: takes the 32-byte header, answers with the given bytes
// (none: silence) and records what arrives until it is finished.
class NullModemDevice {
public:
    NullModemDevice(const std::u16string& port, std::string answer) : m_answer(std::move(answer))
    {
        const std::wstring path = L"\\\\.\\" + pyrrow::platform::ToWide(port);
        m_port = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_port == INVALID_HANDLE_VALUE)
            return;
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ::GetCommState(m_port, &dcb);
        dcb.BaudRate = 115200;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        ::SetCommState(m_port, &dcb);
        // Reads return after 50 ms without a byte, so the thread can stop.
        COMMTIMEOUTS t{MAXDWORD, MAXDWORD, 50, 0, 0};
        ::SetCommTimeouts(m_port, &t);
        m_thread = std::thread([this] { Run(); });
    }
    ~NullModemDevice() { Finish(); }
    NullModemDevice(const NullModemDevice&) = delete;
    NullModemDevice& operator=(const NullModemDevice&) = delete;

    bool Opened() const { return m_port != INVALID_HANDLE_VALUE; }

    // Waits until nothing more arrives and returns all that did.
    std::string Finish()
    {
        if (m_thread.joinable()) {
            m_stop = true;
            m_thread.join();
            ::CloseHandle(m_port);
        }
        return m_received;
    }

private:
    void Run()
    {
        bool answered = false;
        int quiet = 0;
        // After the stop request, what is still on its way is read up first.
        while (!m_stop || quiet < 4) {
            char buffer[4096];
            DWORD n = 0;
            if (!::ReadFile(m_port, buffer, sizeof buffer, &n, nullptr))
                return;
            quiet = n == 0 ? quiet + 1 : 0;
            m_received.append(buffer, n);
            if (!answered && m_received.size() >= 32) {
                answered = true;
                DWORD written = 0;
                ::WriteFile(m_port, m_answer.data(), static_cast<DWORD>(m_answer.size()), &written, nullptr);
            }
        }
    }

    HANDLE m_port = INVALID_HANDLE_VALUE;
    std::string m_answer;
    std::string m_received;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

class ComUpload : public UploadTest {
protected:
    std::string UploadTo(const std::string& file, const std::string& answer)
    {
        NullModemDevice device(PortFromEnvironment("PYRROW_TEST_DEVICE_PORT"), answer);
        EXPECT_TRUE(device.Opened());
        Init({u"COM1", PortFromEnvironment("PYRROW_TEST_PROGRAM_PORT")});
        host.SetListItems(IDC_COM_PORT, host.ListItems(IDC_COM_PORT), 1);
        UseFirmware(file);
        Upload();
        EXPECT_EQ(dlg.m_hComPort, nullptr);
        return device.Finish();
    }
};

TEST_F(ComUpload, HeaderAnswerThenRawBlocks)
{
    const std::string file = Firmware(32 + 256 + 7);
    EXPECT_EQ(UploadTo(file, std::string(32, '\x5A')), file);
    EXPECT_EQ(host.ProgressCalls(), (std::vector<std::string>{"range 0 295", "pos 0", "pos 288", "pos 295", "pos 0"}));
    EXPECT_EQ(sleeps, (std::vector<unsigned>{100, 10, 10}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ComUpload, SilentDeviceGivesHeaderError)
{
    // Five reads, each ending after its total time-out without a byte (the
    // port's driver keeps it; shortened here from 11 ms x 256 + 1000 ms).
    dlg.m_serialTiming.timeouts.readTotalConstant = 150;
    dlg.m_serialTiming.timeouts.readTotalMultiplier = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(UploadTo(Firmware(300), ""), Firmware(32));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 5 * 150ms - 50ms);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderCOM error")});
}

}  // namespace
