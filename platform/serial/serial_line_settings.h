// The line settings both ends of a serial line take on Windows, the
// program's port (serial_win.cpp) and the simulator's COM port: 8 data bits,
// no parity, no flow control of either kind, at the speed given. For the
// Windows sources only.
#pragma once

namespace pyrrow::platform {

// The program's end holds DTR and RTS off (DTR may reset a unit) and leaves
// the stop bits as the port has them; the unit's end sends one stop bit.
enum class SerialEnd { Program, Unit };
// Which call failed: reading the settings (no serial port) or setting them.
enum class SerialLineFailure { None, Read, Write };

// Sets them on an open port (a HANDLE); GetLastError tells why a call failed.
SerialLineFailure SetSerialLineSettings(void* port, unsigned long baudRate, SerialEnd end);

}  // namespace pyrrow::platform
