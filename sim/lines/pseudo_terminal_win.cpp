// Windows has no pseudo-terminals: the serial unit needs a port named with
// --port there, one end of a null-modem pair.
#include "sim/lines/pseudo_terminal.h"

namespace pyrrow::sim {

std::unique_ptr<SerialLine> OpenPseudoTerminal(asio::io_context&, const std::string&, platform::SystemError* error)
{
    error->text = "Windows has no pseudo-terminals: give the unit a port with --port COMn, one end of a "
                  "null-modem pair (a virtual one will do) whose other end the program opens";
    return nullptr;
}

}  // namespace pyrrow::sim
