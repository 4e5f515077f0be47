// A pseudo-terminal that plays a serial port: the program opens its slave
// side by path like any port, the unit reads and writes the master side.
// One source file per operating system implements it
// (pseudo_terminal_linux.cpp; pseudo_terminal_win.cpp says Windows has none).
#pragma once

#include <memory>
#include <string>

#include <asio/io_context.hpp>

#include "sim/lines/serial_line.h"

namespace pyrrow::sim {

// A new pseudo-terminal in raw mode (8 data bits, no translation, no echo),
// and a symbolic link to it at link unless that is empty (an old symbolic
// link there is replaced; anything else is left alone and is a failure).
// The link goes with the pseudo-terminal. Null, with the system's reason
// in *error, on failure.
std::unique_ptr<SerialLine> OpenPseudoTerminal(asio::io_context& io, const std::string& link,
                                               platform::SystemError* error);

}  // namespace pyrrow::sim
