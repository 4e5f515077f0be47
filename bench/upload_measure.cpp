// Measures whole uploads of a 64 KiB firmware file to devices that answer at
// once, and prints wall time, the time the protocol itself prescribes, their
// ratio and the CPU time the program used (the device runs in a child
// process, so its work is not counted).
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/pyrrow_dlg.h"
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

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    double wall;
    double cpu;
    int messages;
};

// Runs one upload on this thread, as the worker would.
Figures Measure(CPyrrowDlg& dialog, NullHost& host)
{
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    CPyrrowDlg::UploadThreadProc(&dialog);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return {wall, CpuSeconds() - cpuBefore, host.m_messages};
}

void Print(const char* link, const Figures& f, double prescribed, double goal)
{
    std::printf("%-7s wall %8.1f ms  prescribed %8.1f ms  ratio %.3f (goal <= %.2f)  cpu %6.1f ms = %.2f %% of wall (goal < 2 %%)%s\n",
                link, f.wall * 1000, prescribed * 1000, f.wall / prescribed, goal, f.cpu * 1000, 100 * f.cpu / f.wall,
                f.messages != 0 ? "  [the upload reported a failure]" : "");
}

// The serial device: a pseudo-terminal whose master a child process plays,
// answering the header at once and reading everything after it.
void MeasureSerial(const std::u16string& firmware, std::size_t size)
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
    dialog.AttachHost(&host);
    dialog.CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_SERIAL);
    dialog.m_strFirmwarePath = firmware;
    const Figures f = Measure(dialog, host);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    const std::size_t blocks = (size - 32 + 255) / 256;
    Print("serial", f, 0.100 + 0.010 * static_cast<double>(blocks), 1.05);
    if (WEXITSTATUS(status) != 0)
        std::printf("serial  the device did not receive the whole file\n");
}

}  // namespace

int main()
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
    MeasureSerial(firmware, kSize);
    std::filesystem::remove(file);
    return 0;
}
