// Windows names each port once (COM3, from the registry's port list) and has
// no second, stable name for it: no aliases.
#include "cli/serial_aliases.h"
#include "platform/serial.h"
#include "platform/serial_ports.h"
#include "platform/utf.h"

namespace pyrrow::cli {

std::vector<SerialPortEntry> ListSerialPorts()
{
    std::vector<SerialPortEntry> ports;
    for (const std::u16string& name : platform::EnumerateSerialPorts()) {
        SerialPortEntry entry;
        entry.name = platform::Utf16ToUtf8Lossy(name);
        entry.path = platform::SerialDevicePath(platform::SystemName(name));
        entry.selector = entry.name;
        ports.push_back(entry);
    }
    return ports;
}

std::string StableSerialName(const std::string&, const std::string&)
{
    return {};
}

}  // namespace pyrrow::cli
