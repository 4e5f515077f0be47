// The serial ports with the stable names the system gives them besides the
// kernel's (/dev/serial/by-id/... on Linux), which stay the same when units
// are plugged in another order. One source file per system (Windows has no
// such names: COM3 is the one name).
#pragma once

#include <string>
#include <vector>

namespace pyrrow::platform {

struct SerialPortEntry {
    std::string name;  // the kernel's: ttyUSB0; Windows: COM3
    std::string path;  // /dev/ttyUSB0; Windows: \\.\COM3
    std::vector<std::string> aliases;
    // What follows "serial:" in the --device text that selects it: the
    // first stable alias or the path (Linux), the name (Windows).
    std::string selector;
};

std::vector<SerialPortEntry> ListSerialPorts();

// The first (in name order) stable name in byIdFolder that leads to the
// same device as devicePath; empty where there is none (always on Windows).
std::string StableSerialName(const std::string& devicePath, const std::string& byIdFolder = "/dev/serial/by-id");

}  // namespace pyrrow::platform
