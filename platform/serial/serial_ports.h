// The serial ports of this machine as the system enumerates them, without
// opening any (opening pulses DTR and RTS).
#pragma once

#include <string>
#include <vector>

namespace pyrrow::platform {

// Short device names ("ttyS0", "ttyUSB0") of the real serial ports under the
// given sysfs root, in natural order (ttyS2 before ttyS10). Ports without a
// device behind them, UARTs whose type is 0 (placeholders that have no
// hardware) and the kernel's console ports (class/tty/console/active) are
// left out; a port left out can still be named. Empty when there are none or
// sysfs cannot be read.
// Windows lists the names the registry holds (COM3), sysfsRoot unused.
std::vector<std::u16string> EnumerateSerialPorts(const std::string& sysfsRoot = "/sys");

// The serial ports that EnumerateSerialPorts leaves out because they carry
// the kernel's console ("ttyS0"), in natural order. Empty on Windows.
std::vector<std::u16string> ConsoleSerialPorts(const std::string& sysfsRoot = "/sys");

// Whether the port of that name ("ttyS0", "COM1", "/dev/ttyS0") is one of
// the kernel's console ports, which the port lists leave out. Always false on
// Windows.
bool IsConsolePort(const std::u16string& portName, const std::string& sysfsRoot = "/sys");

// Natural order of names: runs of digits compare by their value.
bool NaturalLess(const std::u16string& a, const std::u16string& b);

}  // namespace pyrrow::platform
