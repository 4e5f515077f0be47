// pyrrow.exe itself under a virtual display: a copy of it in a folder of the
// test's own, started as a user would, driven by the keys an operator
// presses. Return starts an upload to a loopback TCP device, or presses the
// push button that has the focus, Esc closes the window, and the settings
// file beside the program is written byte for byte as on Linux.
#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/dialog_fixture.h"
#include "support/tcp_device.h"
#include "support/temp_dir.h"

// After the program's headers, whose names its macros would rename.
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using pyrrow::test::ReadBytes;
using pyrrow::test::Utf16LeBytes;

const fs::path kGolden = fs::path(PYRROW_TEST_DATA) / "settings";
constexpr int kFilePath = 1001;  // the firmware path's edit field

// The visible dialog of a process, or null.
HWND DialogOf(DWORD processId)
{
    struct Search {
        DWORD processId;
        HWND found;
    } search{processId, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            wchar_t className[16] = {};
            ::GetClassNameW(window, className, 16);
            if (owner != s->processId || !::IsWindowVisible(window) || std::wstring(className) != L"#32770")
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Settings for an upload of the firmware to 127.0.0.1 on the port, written
// as the program writes them, so that saving them again changes nothing.
std::u16string TcpSettings(const std::u16string& firmware, std::uint16_t port)
{
    const std::string number = std::to_string(port);
    return u"\uFEFF<DriverSetting>\r\n"
           u"\t<Address pc=\"1\" />\r\n"
           u"\t<File path=\"" + firmware + u"\" />\r\n"
           u"\t<Communication type=\"TCP\">\r\n"
           u"\t\t<TCP ip=\"127.0.0.1\" port=\"" + std::u16string(number.begin(), number.end()) +
           u"\" timeout=\"5000\" readDelay=\"300\" />\r\n"
           u"\t</Communication>\r\n"
           u"</DriverSetting>\r\n";
}

// A copy of pyrrow.exe in a folder of its own, started and watched.
class Program {
public:
    explicit Program(const fs::path& folder) : m_exe(folder / "pyrrow.exe")
    {
        fs::copy_file(PYRROW_EXE, m_exe);
        std::wstring commandLine = L"\"" + m_exe.wstring() + L"\"";
        // Its standard error goes to a file, to be shown when it fails.
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        m_errors = ::CreateFileW(m_errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = m_errors;
        startup.hStdOutput = m_errors;
        m_started = m_errors != INVALID_HANDLE_VALUE &&
                    ::CreateProcessW(m_exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                     folder.c_str(), &startup, &m_process) != 0;
    }
    ~Program()
    {
        if (m_errors != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_errors);
        if (m_started && ::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(m_process.hProcess, 1);
        if (m_started) {
            ::CloseHandle(m_process.hProcess);
            ::CloseHandle(m_process.hThread);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Its window once it is shown, or null when the program ends first or
    // 30 s have passed (what happened is printed).
    HWND Window()
    {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (m_started && std::chrono::steady_clock::now() < deadline) {
            if (HWND window = DialogOf(m_process.dwProcessId))
                return window;
            if (::WaitForSingleObject(m_process.hProcess, 100) == WAIT_OBJECT_0) {
                DWORD code = 0;
                ::GetExitCodeProcess(m_process.hProcess, &code);
                ADD_FAILURE() << "pyrrow.exe ended with exit code " << code
                              << " before its window showed; its standard error:\n"
                              << ReadBytes(m_errorFile);
                return nullptr;
            }
        }
        ADD_FAILURE() << (m_started ? "no window of pyrrow.exe within 30 s; its standard error:\n" + ReadBytes(m_errorFile)
                                    : "pyrrow.exe did not start");
        return nullptr;
    }

    // Presses a key in the window until the program ends (Esc is refused
    // while an upload runs); true when it ended within 30 s.
    bool PressUntilEnded(HWND window, WPARAM key)
    {
        for (int i = 0; i < 150; ++i) {
            ::PostMessageW(window, WM_KEYDOWN, key, 0);
            if (::WaitForSingleObject(m_process.hProcess, 200) == WAIT_OBJECT_0)
                return true;
        }
        return false;
    }

    // The control with the keyboard focus in the program's window.
    HWND Focus() const
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return ::GetGUIThreadInfo(m_process.dwThreadId, &info) ? info.hwndFocus : nullptr;
    }

    // Presses Tab, as an operator does, until the focus is on the window's
    // control with this id; false when it never gets there.
    bool TabTo(HWND window, int id)
    {
        for (int press = 0; press < 40; ++press) {
            const HWND focus = Focus();
            if (focus != nullptr && ::GetParent(focus) == window && ::GetDlgCtrlID(focus) == id)
                return true;
            ::PostMessageW(focus != nullptr ? focus : window, WM_KEYDOWN, VK_TAB, 0);
            for (int wait = 0; wait < 100 && Focus() == focus; ++wait)
                if (::WaitForSingleObject(m_process.hProcess, 10) == WAIT_OBJECT_0)
                    return false;
        }
        return false;
    }

    // Enter, as the operator presses it: to the control with the focus.
    void PressEnter() { ::PostMessageW(Focus(), WM_KEYDOWN, VK_RETURN, 0); }

    // True when the program ends within 10 s without another key.
    bool Ends() { return ::WaitForSingleObject(m_process.hProcess, 10000) == WAIT_OBJECT_0; }

private:
    fs::path m_exe;
    fs::path m_errorFile = m_exe.parent_path() / "stderr.txt";
    HANDLE m_errors = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION m_process{};
    bool m_started = false;
};

TEST(Window, FirstCloseWritesTheSettingsBesideTheProgram)
{
    pyrrow::test::TempDir dir;
    {
        Program program(dir.path());
        const HWND window = program.Window();
        ASSERT_NE(window, nullptr);
        wchar_t caption[32] = {};
        ::GetWindowTextW(window, caption, 32);
        EXPECT_EQ(std::wstring(caption), L"Pyrrow");
        EXPECT_TRUE(program.PressUntilEnded(window, VK_ESCAPE));
    }
    EXPECT_EQ(ReadBytes(dir.path() / "pyrrow.config"), ReadBytes(kGolden / "first_close_serial.config"));
}

TEST(Window, ReturnUploadsToTheTcpDeviceOfTheSettings)
{
    pyrrow::test::TempDir dir;
    const std::string firmware = pyrrow::test::Firmware(32 + 3 * 1024 + 5);
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", firmware);
    pyrrow::test::TcpScript script;
    script.answer = [](const std::string& header) { return pyrrow::test::Echo(header); };
    script.dataBytes = firmware.size() - 32;
    pyrrow::test::TcpDevice device(script);
    const std::u16string settings = TcpSettings(dir.File("unit.fw"), device.Port());
    pyrrow::test::WriteBytes(dir.path() / "pyrrow.config", Utf16LeBytes(settings));
    {
        Program program(dir.path());
        const HWND window = program.Window();
        ASSERT_NE(window, nullptr);
        // The default button follows the focus to "Zavrít okno" and back to
        // "Nahrát" when the focus leaves the push buttons.
        ASSERT_TRUE(program.TabTo(window, IDCANCEL));
        ASSERT_TRUE(program.TabTo(window, kFilePath));
        program.PressEnter();
        std::string frames = firmware.substr(0, 32);
        for (std::size_t at = 32, counter = 0; at < firmware.size(); at += 1024, ++counter)
            frames += std::string(1, static_cast<char>(counter)) + '\0' + firmware.substr(at, 1024);
        EXPECT_EQ(device.Finish(), frames);
        EXPECT_TRUE(program.PressUntilEnded(window, VK_ESCAPE));
    }
    EXPECT_EQ(ReadBytes(dir.path() / "pyrrow.config"), Utf16LeBytes(settings));
}

// Enter on the push button that has the focus presses that button: with
// the focus on "Zavrít okno" the window closes and nothing is flashed (an
// upload would find no device here and keep the window open with its
// message).
TEST(Window, EnterOnTheFocusedCloseButtonClosesTheWindow)
{
    pyrrow::test::TempDir dir;
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", pyrrow::test::Firmware(32 + 1024));
    pyrrow::test::WriteBytes(dir.path() / "pyrrow.config",
                             Utf16LeBytes(TcpSettings(dir.File("unit.fw"), pyrrow::test::UnusedLoopbackPort())));
    Program program(dir.path());
    const HWND window = program.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(program.TabTo(window, IDCANCEL));
    program.PressEnter();
    EXPECT_TRUE(program.Ends());
}

}  // namespace
