// Measures whole uploads of a 64 KiB firmware file to devices that answer at
// once, and prints wall time, the time the protocol itself prescribes, their
// ratio and the CPU time the program used (the device runs in a child
// process, so its work is not counted).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "app/pyrrow_dlg.h"
#include "bench/measure.h"
#include "bench/tcp_device_process.h"
#include "res/resource.h"

namespace {

using Clock = std::chrono::steady_clock;

// A window that shows nothing: the measurement needs the logic only.
class NullHost : public pyrrow::platform::DialogHost {
public:
    void EnableControl(int, bool) override {}
    bool IsButtonChecked(int id) override { return id == m_checked; }
    void CheckRadioButton(int, int, int id) override { m_checked = id; }
    void SetControlText(int, const std::u16string&) override {}
    int ListGetCount(int) override { return 1; }
    int ListGetSelection(int) override { return 0; }
    std::u16string ListGetItemText(int, int) override { return m_port; }
    void ListReset(int) override {}
    void ListAdd(int, const std::u16string&) override {}
    void ListSelect(int, int) override {}
    std::uint32_t IpGetAddress(int) override { return m_address; }
    void IpSetAddress(int, std::uint32_t) override {}
    void ProgressSetRange(int, int, int) override {}
    void ProgressSetPosition(int, int) override {}
    void ProgressPostPosition(int, int) override {}
    void MessageBox(const std::u16string&, const std::u16string&, unsigned) override { ++m_messages; }
    std::optional<std::u16string> ChooseFileToOpen(const pyrrow::platform::OpenFileRequest&) override { return {}; }
    void SetWindowIcon(int) override {}
    void SetButtonBitmap(int, int) override {}
    void EndDialog(int) override {}

    int m_checked = 0;
    std::u16string m_port;
    std::uint32_t m_address = 0;
    int m_messages = 0;
};

}  // namespace

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

namespace {

// Runs one upload on this thread, as the worker would.
Figures Measure(CPyrrowDlg& dialog, NullHost& host)
{
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    CPyrrowDlg::UploadThreadProc(&dialog);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return {wall, CpuSeconds() - cpuBefore, host.m_messages};
}

void Print(const char* link, const Figures& f, double prescribed, double goal, double cpuGoal = 2)
{
    std::printf("%-15s wall %8.1f ms  prescribed %8.1f ms  ratio %.3f (goal <= %.2f)  cpu %6.1f ms = %.2f %% of wall (goal < %.0f %%)%s\n",
                link, f.wall * 1000, prescribed * 1000, f.wall / prescribed, goal, f.cpu * 1000, 100 * f.cpu / f.wall, cpuGoal,
                f.messages != 0 ? "  [the upload reported a failure]" : "");
}

// The serial device: a pseudo-terminal whose master a child process plays,
// answering the header at once and reading everything after it. window,
// when set, runs the upload through the real window instead.
void MeasureSerial(const std::u16string& firmware, std::size_t size, const WindowRun& window)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    const std::string slave = ::ptsname(master);
    const pid_t child = ::fork();
    if (child == 0) {
        std::size_t received = 0;
        bool answered = false;
        char buffer[4096];
        for (;;) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                break;
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received += static_cast<std::size_t>(n);
            if (!answered && received >= 32) {
                answered = true;
                [[maybe_unused]] ssize_t w = ::write(master, std::string(32, 'A').data(), 32);
            }
            if (received >= size)
                break;
        }
        ::_exit(received == size ? 0 : 1);
    }
    NullHost host;
    host.m_port = std::u16string(slave.begin(), slave.end());
    CPyrrowDlg dialog;
    dialog.m_strFirmwarePath = firmware;
    Figures f{};
    if (window) {
        f = window(dialog, host.m_port);
    } else {
        dialog.AttachHost(&host);
        dialog.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
        f = Measure(dialog, host);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    const std::size_t blocks = (size - 32 + 255) / 256;
    Print(window ? "serial (window)" : "serial", f, 0.100 + 0.010 * static_cast<double>(blocks),
          window ? 1.03 : 1.05, window ? 1 : 2);
    if (WEXITSTATUS(status) != 0)
        std::printf("serial  the device did not receive the whole file\n");
}

// The TCP device: a listener on 127.0.0.1 whose connection a child process
// serves, echoing the header and acknowledging every frame at once.
void MeasureTcp(const std::u16string& firmware, std::size_t size)
{
    std::uint16_t port = 0;
    const pid_t child = StartTcpDeviceProcess(size, &port);
    NullHost host;
    host.m_address = 0x7F000001;
    CPyrrowDlg dialog;
    dialog.AttachHost(&host);
    dialog.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
    dialog.m_strFirmwarePath = firmware;
    dialog.m_tcpPort = port;
    const Figures f = Measure(dialog, host);
    int status = 0;
    ::waitpid(child, &status, 0);
    const std::size_t frames = (size - 32 + 1023) / 1024;
    Print("tcp", f, 0.100 * static_cast<double>(1 + frames), 1.02);
    if (WEXITSTATUS(status) != 0)
        std::printf("tcp     the device did not receive the whole file\n");
}

// The USB device: a stand-in for hidapi that takes every report at once and
// answers the header with the first poll.
class InstantHid : public pyrrow::platform::HidBackend {
public:
    std::vector<pyrrow::platform::HidDeviceInfo> Enumerate(unsigned short, unsigned short) override { return {}; }
    pyrrow::platform::HidDevice Open(unsigned short, unsigned short) override
    {
        return reinterpret_cast<pyrrow::platform::HidDevice>(&m_token);
    }
    pyrrow::platform::HidDevice OpenPath(const std::string&) override { return nullptr; }
    int SetNonblocking(pyrrow::platform::HidDevice, int) override { return 0; }
    int Write(pyrrow::platform::HidDevice, const unsigned char*, std::size_t length) override
    {
        ++reports;
        return static_cast<int>(length);
    }
    int Read(pyrrow::platform::HidDevice, unsigned char* data, std::size_t) override
    {
        data[0] = 1;
        return 64;
    }
    std::u16string Error(pyrrow::platform::HidDevice) override { return {}; }
    void Close(pyrrow::platform::HidDevice) override {}

    std::size_t reports = 0;

private:
    int m_token = 0;
};

void MeasureUsb(const std::u16string& firmware, std::size_t size)
{
    NullHost host;
    InstantHid hid;
    CPyrrowDlg dialog;
    dialog.AttachHost(&host);
    dialog.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
    dialog.m_strFirmwarePath = firmware;
    dialog.m_hid = &hid;
    const Figures f = Measure(dialog, host);
    const std::size_t reports = (size - 32 + 63) / 64;
    Print("usb", f, 1.000 + 0.010 * static_cast<double>(reports), 1.05);
    if (hid.reports != reports + 1)
        std::printf("usb     the device did not receive every report\n");
}

}  // namespace

// With --window the serial upload also runs through the real window (it
// needs a display, or QT_QPA_PLATFORM=offscreen).
int main(int argc, char** argv)
{
    constexpr std::size_t kSize = 64 * 1024;
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "pyrrow-measure.fw";
    {
        std::ofstream out(file, std::ios::binary);
        for (std::size_t i = 0; i < kSize; ++i)
            out.put(static_cast<char>(i * 31));
    }
    const std::string name = file.string();
    const std::u16string firmware(name.begin(), name.end());
    std::printf("Upload of %zu bytes to a device that answers at once\n", kSize);
    MeasureSerial(firmware, kSize, {});
    if (argc > 1 && std::string(argv[1]) == "--window")
        MeasureSerial(firmware, kSize, RealWindow(argc, argv));
    MeasureTcp(firmware, kSize);
    MeasureUsb(firmware, kSize);
    std::filesystem::remove(file);
    return 0;
}
