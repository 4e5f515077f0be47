// Who else holds a device node: the answer both the listing of ports and the
// opening of a port give, found without opening the device.
#pragma once

#include <string>

namespace pyrrow::platform {

// Another process that holds the node at path (links followed), as
// "pid 4242 (screen), which has it open": one that has locked the node, a
// live lock file of the serial tools (LCK..ttyUSB0 in /run/lock or
// /var/lock), or one that has the device open. Empty when none is seen;
// only processes whose open files this user may see are looked at (all of
// them for root); this process's own holdings are not.
std::string DeviceHolder(const std::string& path);

}  // namespace pyrrow::platform
