// pyrrow-cli list: what can be flashed from here, whether this user may open
// it now, and the --device text that selects it. Nothing is opened.
#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/output/json_text.h"
#include "platform/devices/device_access.h"
#include "platform/devices/hid.h"
#include "platform/serial/serial_aliases.h"
#include "platform/serial/serial_ports.h"
#include "platform/utf.h"
#include "upload/usb_link.h"

namespace pyrrow::cli {
namespace {

using Json = nlohmann::ordered_json;

struct Entry {
    std::string kind;  // "serial" or "usb"
    std::string name;
    std::string path;
    std::vector<std::string> aliases;
    std::string serialNumber;
    platform::NodeAccess access;
    std::string device;
};

std::string StateText(const platform::NodeAccess& access)
{
    switch (access.state) {
    case platform::NodeAccess::State::Denied:
        if (access.owner.empty())
            return "denied";
        return "denied (" + access.owner + ":" + access.group + " " + access.mode + ")";
    case platform::NodeAccess::State::Busy: return "busy (" + access.holder + ")";
    case platform::NodeAccess::State::Unchecked: return "unchecked (only opening it would tell, and that resets some units)";
    default: return platform::StateName(access.state);
    }
}

std::vector<Entry> Collect()
{
    std::vector<Entry> entries;
    for (const platform::SerialPortEntry& port : platform::ListSerialPorts()) {
        Entry entry{"serial", port.name, port.path, port.aliases, {}, platform::ProbeNode(port.path), {}};
        entry.device = "serial:" + port.selector;
        entries.push_back(entry);
    }
    const auto units =
        platform::SystemHid().Enumerate(protocol::kUsbVendorId, protocol::kUsbProductId);
    std::map<std::string, int> serialCount;
    for (const auto& unit : units)
        ++serialCount[platform::Utf16ToUtf8Lossy(unit.serialNumber)];
    for (const auto& unit : units) {
        Entry entry{"usb", unit.path, unit.path, {}, platform::Utf16ToUtf8Lossy(unit.serialNumber),
                    platform::ProbeNode(unit.path), {}};
        // A serial number selects the unit wherever it is plugged in, if no
        // other unit shares it.
        entry.device = !entry.serialNumber.empty() && serialCount[entry.serialNumber] == 1
                           ? "usb:serial=" + entry.serialNumber
                           : "usb:path=" + unit.path;
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace

int RunList(bool json)
{
    const std::vector<Entry> entries = Collect();
    std::string text;
    for (const Entry& entry : entries) {
        if (json) {
            Json line;
            line["v"] = 1;
            line["event"] = "device";
            line["kind"] = entry.kind;
            line["name"] = entry.name;
            line["path"] = entry.path;
            if (entry.kind == "serial")
                line["aliases"] = entry.aliases;
            else
                line["serial_number"] = entry.serialNumber;
            line["state"] = platform::StateName(entry.access.state);
            line["owner"] = entry.access.owner;
            line["group"] = entry.access.group;
            line["mode"] = entry.access.mode;
            line["holder"] = entry.access.holder.empty() ? Json() : Json(entry.access.holder);
            line["device"] = entry.device;
            text += JsonLine(line) + "\n";
            continue;
        }
        text += entry.device + "\n    " + entry.kind + " " + entry.path;
        if (!entry.serialNumber.empty())
            text += ", serial number " + entry.serialNumber;
        text += ": " + StateText(entry.access) + "\n";
        for (const std::string& alias : entry.aliases)
            if ("serial:" + alias != entry.device)
                text += "    also " + alias + "\n";
    }
    if (!json && entries.empty())
        text = "No serial ports and no USB units 0483:a151 found.\n";
    // Said, so that a port missing from the list is not looked for in vain.
    if (!json)
        for (const std::u16string& console : platform::ConsoleSerialPorts()) {
            const std::string name = platform::Utf16ToUtf8Lossy(console);
            text += "Left out: " + name + ", the system's console (--device serial:" + name +
                    " uses it all the same)\n";
        }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace pyrrow::cli
