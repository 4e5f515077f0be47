// A serial port the user names for the unit: one end of a null-modem pair
// (a virtual one, or two ports and a cable), whose other end the program
// opens. The unit's end runs at the protocol's line settings, 115200 bit/s
// 8N1, without flow control. One source file per operating system
// (named_port_posix.cpp: a tty by path; named_port_win.cpp: COMn).
#pragma once

#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "sim/lines/serial_line.h"

namespace pyrrow::sim {

// Opens the port for the unit alone. Null, with the system's reason in
// *error, on failure.
std::unique_ptr<SerialLine> OpenNamedPort(asio::io_context& io, const std::string& name, platform::SystemError* error);

}  // namespace pyrrow::sim
