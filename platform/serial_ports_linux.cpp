#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/serial_ports.h"

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

}  // namespace

std::vector<std::u16string> EnumerateSerialPorts(const std::string& sysfsRoot)
{
    std::vector<std::u16string> ports;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "tty", ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path tty = it->path();
        // Virtual terminals and pseudo-terminals have no device behind them.
        std::error_code linkError;
        if (!fs::exists(tty / "device", linkError) || IsPlaceholderUart(tty))
            continue;
        const std::string name = tty.filename().string();
        ports.emplace_back(name.begin(), name.end());  // kernel names are ASCII
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

}  // namespace pyrrow::platform
