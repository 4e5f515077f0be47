#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <string_view>

#include "platform/serial/serial.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"

namespace pyrrow::platform {
namespace {

namespace fs = std::filesystem;

bool ReadsAsZero(const fs::path& attribute)
{
    std::ifstream in(attribute);
    std::string value;
    return static_cast<bool>(in >> value) && value == "0";
}

// UARTs keep their type beside the tty on current kernels and in the device
// directory on older ones.
bool IsPlaceholderUart(const fs::path& tty)
{
    std::error_code ec;
    if (fs::exists(tty / "type", ec))
        return ReadsAsZero(tty / "type");
    return fs::exists(tty / "device" / "type", ec) && ReadsAsZero(tty / "device" / "type");
}

// The kernel's consoles ("tty0 ttyS0"): a port that carries the console
// (a server's or a board's serial console) is never offered for an upload,
// since an image sent there goes to a login prompt or a shell.
std::set<std::string> ConsolePorts(const fs::path& sysfsRoot)
{
    std::set<std::string> names;
    std::ifstream in(sysfsRoot / "class" / "tty" / "console" / "active");
    for (std::string name; in >> name;)
        names.insert(name);
    return names;
}

// The real serial ports under the sysfs root: those that carry the console,
// or those that do not.
std::vector<std::u16string> SerialPorts(const std::string& sysfsRoot, bool consoles)
{
    std::vector<std::u16string> ports;
    const std::set<std::string> consoleNames = ConsolePorts(sysfsRoot);
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        // Virtual terminals and pseudo-terminals have no device behind them.
        std::error_code linkError;
        if (!fs::exists(tty / "device", linkError) || IsPlaceholderUart(tty))
            continue;
        const std::string name = tty.filename().string();
        if (consoleNames.contains(name) != consoles)
            continue;
        ports.emplace_back(name.begin(), name.end());  // kernel names are ASCII
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

}  // namespace

std::vector<std::u16string> EnumerateSerialPorts(const std::string& sysfsRoot)
{
    return SerialPorts(sysfsRoot, false);
}

std::vector<std::u16string> ConsoleSerialPorts(const std::string& sysfsRoot)
{
    return SerialPorts(sysfsRoot, true);
}

bool IsConsolePort(const std::u16string& portName, const std::string& sysfsRoot)
{
    const std::string path = SerialDevicePath(SystemName(portName));
    constexpr std::string_view kDev = "/dev/";
    if (!path.starts_with(kDev) || path.find('/', kDev.size()) != std::string::npos)
        return false;
    return ConsolePorts(sysfsRoot).contains(path.substr(kDev.size()));
}

}  // namespace pyrrow::platform
