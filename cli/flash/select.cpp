#include "cli/flash/select.h"

#include <filesystem>

#include "cli/exit_codes.h"
#include "platform/net/ipv4_text.h"
#include "platform/serial/serial.h"
#include "platform/utf.h"

namespace pyrrow::cli {
namespace {

std::string Describe(const platform::HidDeviceInfo& unit)
{
    const std::string serial = platform::Utf16ToUtf8Lossy(unit.serialNumber);
    return "usb:path=" + unit.path + (serial.empty() ? " (no serial number)" : " (serial number " + serial + ")");
}

Selection Failure(int code, const char* kind, std::string message)
{
    Selection selection;
    selection.exitCode = code;
    selection.kind = kind;
    selection.message = std::move(message);
    return selection;
}

Selection Found(const DeviceUri& uri, std::string devicePath)
{
    Selection selection;
    selection.target = Target{uri, std::move(devicePath)};
    return selection;
}

std::string Key(const Target& target)
{
    if (target.uri.link != DeviceUri::Link::Serial)
        return target.devicePath;
    std::error_code ec;
    const auto real = std::filesystem::weakly_canonical(target.devicePath, ec);
    return ec ? target.devicePath : real.string();
}

// The one port of the system's list that has this name, letter case aside.
std::optional<std::string> ListedName(const std::string& name, const std::vector<std::string>& ports)
{
    const auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    std::optional<std::string> found;
    for (const std::string& port : ports)
        if (lower(port) == lower(name)) {
            if (found)
                return std::nullopt;  // ttyS0 and TTYS0 both: the name given decides
            found = port;
        }
    return found;
}

Selection Choose(const DeviceUri& uri, const std::vector<platform::HidDeviceInfo>& usbUnits,
                 const std::function<bool(const std::string&)>& serialExists,
                 const std::vector<std::string>& serialPorts)
{
    switch (uri.link) {
    case DeviceUri::Link::Serial: {
        std::string name = uri.serialPort;
        if (!serialExists(name) && name.front() != '/')
            if (auto listed = ListedName(name, serialPorts))
                name = *listed;
        const std::string path = platform::SerialDevicePath(name);
        if (!serialExists(name))
            return Failure(kExitNoDevice, "no_device",
                           "no serial port " + path + "; check the cable and the name ('pyrrow-cli list' shows "
                                                      "the ports)");
        return Found(uri, path);
    }
    case DeviceUri::Link::Tcp:
        // Only the connection can tell whether a unit is there.
        return Found(uri, platform::Ipv4Text(uri.address, uri.port));
    case DeviceUri::Link::Usb:
        break;
    }
    std::vector<const platform::HidDeviceInfo*> matches;
    for (const auto& unit : usbUnits) {
        const bool match = uri.usbMatch == DeviceUri::UsbMatch::Any ||
                           (uri.usbMatch == DeviceUri::UsbMatch::Path && unit.path == uri.usbValue) ||
                           (uri.usbMatch == DeviceUri::UsbMatch::SerialNumber &&
                            platform::Utf16ToUtf8Lossy(unit.serialNumber) == uri.usbValue);
        if (match)
            matches.push_back(&unit);
    }
    if (matches.size() == 1)
        return Found(uri, matches.front()->path);
    if (matches.empty()) {
        std::string message = "no USB unit 0483:a151 matches";
        if (usbUnits.empty())
            message += "; none is attached: check the cable and that the unit is waiting for firmware";
        else {
            message += "; attached:";
            for (const auto& unit : usbUnits)
                message.append(" ").append(Describe(unit)).append(";");
            message += " select one of them";
        }
        return Failure(kExitNoDevice, "no_device", message);
    }
    std::string message = std::to_string(matches.size()) + " USB units match:";
    for (const auto* unit : matches)
        message.append(" ").append(Describe(*unit)).append(";");
    message += " select one with usb:serial=SN or usb:path=PATH (one --device per unit flashes them all)";
    return Failure(kExitAmbiguous, "ambiguous", message);
}

}  // namespace

Selection Select(const DeviceUri& uri, const std::vector<platform::HidDeviceInfo>& usbUnits,
                 const std::function<bool(const std::string&)>& serialExists,
                 const std::vector<std::string>& serialPorts)
{
    Selection selection = Choose(uri, usbUnits, serialExists, serialPorts);
    if (!selection.target)
        selection.message = uri.text + ": " + selection.message;
    return selection;
}

std::optional<std::string> SameUnitTwice(const std::vector<Target>& targets)
{
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = i + 1; j < targets.size(); ++j)
            if (targets[i].uri.link == targets[j].uri.link && Key(targets[i]) == Key(targets[j]))
                return "--device " + targets[i].uri.text + " and --device " + targets[j].uri.text +
                       " are the same unit (" + targets[i].devicePath + ")";
    return std::nullopt;
}

}  // namespace pyrrow::cli
