// The serial ports with the stable names the system gives them besides the
// kernel's (/dev/serial/by-id/... on Linux), which stay the same when units
// are plugged in another order. One source file per system.
#pragma once

#include <string>
#include <vector>

namespace pyrrow::cli {

struct SerialPortEntry {
    std::string name;  // the kernel's: ttyUSB0
    std::string path;  // /dev/ttyUSB0
    std::vector<std::string> aliases;
};

std::vector<SerialPortEntry> ListSerialPorts();

}  // namespace pyrrow::cli
