// What a user refused a serial port on a POSIX system is told: who may
// open it and how to come to be among them, from the node's owner, group
// and mode alone, so that it can be tried without devices.
#pragma once

#include <string>

namespace pyrrow::platform {

// owner and group by name (or number), mode as in st_mode (permission bits
// used), udevMatch what the example udev rule matches (SerialUdevMatch).
// Begins with "owner <owner>:<group>, mode <octal>". Joining the group is
// advised only where the group may read and write and is not root's;
// otherwise only an administrator can help, with a udev rule, or for a
// pseudo-terminal (udevMatch empty) the user who made it.
std::string SerialAccessAdvice(const std::string& owner, const std::string& group, unsigned mode,
                               const std::string& udevMatch);

// The match of a udev rule for the port as the user named it: a
// /dev/serial/by-id link gives its adapter's ENV{ID_SERIAL} (the same
// wherever it is plugged in), anything else the kernel's name
// (KERNEL=="ttyUSB0"), never a link's name, which udev does not match;
// empty for a pseudo-terminal (kernelName "pts/N"), which udev never makes.
std::string SerialUdevMatch(const std::string& namedPath, const std::string& kernelName);

// The kernel's name of the device behind a path, links followed ("ttyUSB0"
// for a by-id link, "pts/3" for a pseudo-terminal); the path's last part
// when it cannot be resolved.
std::string KernelName(const std::string& path);

}  // namespace pyrrow::platform
