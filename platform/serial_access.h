// What a user refused a serial port on a POSIX system is told: who may
// open it and how to come to be among them, from the node's owner, group
// and mode alone, so that it can be tried without devices.
#pragma once

#include <string>

namespace pyrrow::platform {

// owner and group by name (or number), mode as in st_mode (permission bits
// used), kernelName the device's name ("ttyUSB0") for the example rule.
// Begins with "owner <owner>:<group>, mode <octal>".
std::string SerialAccessAdvice(const std::string& owner, const std::string& group, unsigned mode,
                               const std::string& kernelName);

}  // namespace pyrrow::platform
