// Windows names each port once (COM3, from the registry's port list) and has
// no second, stable name for it: no aliases.
#include "platform/serial/serial.h"
#include "platform/serial/serial_aliases.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"

namespace pyrrow::platform {

std::vector<SerialPortEntry> ListSerialPorts()
{
    std::vector<SerialPortEntry> ports;
    for (const std::u16string& name : EnumerateSerialPorts()) {
        SerialPortEntry entry;
        entry.name = Utf16ToUtf8Lossy(name);
        entry.path = SerialDevicePath(SystemName(name));
        entry.selector = entry.name;
        ports.push_back(entry);
    }
    return ports;
}

std::string StableSerialName(const std::string&, const std::string&)
{
    return {};
}

}  // namespace pyrrow::platform
