#include <algorithm>
#include <filesystem>

#include "platform/serial/serial.h"
#include "platform/serial/serial_aliases.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"

namespace pyrrow::platform {

std::vector<SerialPortEntry> ListSerialPorts()
{
    namespace fs = std::filesystem;
    std::vector<SerialPortEntry> ports;
    for (const std::u16string& name : EnumerateSerialPorts()) {
        SerialPortEntry entry;
        entry.name = Utf16ToUtf8Lossy(name);
        entry.path = SerialDevicePath(SystemName(name));
        ports.push_back(entry);
    }
    std::error_code ec;
    for (fs::directory_iterator it("/dev/serial/by-id", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::canonical(it->path(), linkError);
        if (linkError)
            continue;
        for (SerialPortEntry& entry : ports)
            if (target == entry.path)
                entry.aliases.push_back(it->path().string());
    }
    for (SerialPortEntry& entry : ports) {
        std::sort(entry.aliases.begin(), entry.aliases.end());
        // The stable alias survives replugging in another order.
        entry.selector = entry.aliases.empty() ? entry.path : entry.aliases.front();
    }
    return ports;
}

std::string StableSerialName(const std::string& devicePath, const std::string& byIdFolder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path device = fs::canonical(devicePath, ec);
    if (ec)
        return {};
    std::vector<std::string> names;
    for (fs::directory_iterator it(byIdFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) == device && !linkError)
            names.push_back(it->path().string());
    }
    return names.empty() ? std::string() : *std::min_element(names.begin(), names.end());
}

}  // namespace pyrrow::platform
