// Device selection: which one unit a --device text means. A selector that
// matches several units is an error that lists them; it never takes the
// first one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/flash/device_uri.h"
#include "platform/devices/hid.h"

namespace pyrrow::cli {

struct Target {
    DeviceUri uri;
    // The device behind it: /dev/ttyUSB0, a hidraw path, 192.168.1.20:1998.
    std::string devicePath;
};

struct Selection {
    std::optional<Target> target;
    int exitCode = 0;      // on failure: kExitNoDevice or kExitAmbiguous
    std::string kind;      // on failure: "no_device" or "ambiguous"
    std::string message;   // on failure: what was looked for, what was found, what to do
};

// usbUnits: the attached units of the product's ids. serialExists: whether a
// port of that name exists (platform::SerialPortExists in the program).
// serialPorts: the system's list of port names, where a name that does not
// exist as given is looked up again, letter case aside (TTYS0 is ttyS0).
Selection Select(const DeviceUri& uri, const std::vector<platform::HidDeviceInfo>& usbUnits,
                 const std::function<bool(const std::string&)>& serialExists,
                 const std::vector<std::string>& serialPorts = {});

// Two targets that are the same unit (serial:ttyUSB0 and its by-id alias,
// usb and usb:serial=SN of the only unit): the message, or nothing.
std::optional<std::string> SameUnitTwice(const std::vector<Target>& targets);

}  // namespace pyrrow::cli
