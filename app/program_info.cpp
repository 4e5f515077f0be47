#include "app/program_info.h"

namespace pyrrow {

InfoRequest InfoRequestOf(const std::vector<std::u16string>& arguments)
{
    if (arguments.empty())
        return InfoRequest::None;
    if (arguments.front() == u"--help" || arguments.front() == u"-h")
        return InfoRequest::Help;
    if (arguments.front() == u"--version")
        return InfoRequest::Version;
    return InfoRequest::None;
}

std::string WindowHelpText()
{
    return "Usage: pyrrow [-c PORT SPEED X Y] [-f PATH] [-dir DIR] [-addr N] [-pc N]\n"
           "\n"
           "Opens the window that uploads a firmware image into a control unit over a\n"
           "serial line, TCP or USB HID.\n"
           "\n"
           "Values are taken by position: whatever follows an option is its value.\n"
           "Unknown arguments are skipped.\n"
           "  -c PORT SPEED X Y  the serial port (ttyUSB0, /dev/ttyUSB0 or COM1) and three\n"
           "                     further values, kept but not used; a port chooses the\n"
           "                     serial link, and the settings file is then neither read\n"
           "                     nor written\n"
           "  -f PATH            the firmware file (a relative path is made absolute)\n"
           "  -dir DIR           the folder the file dialog opens in (default: the current\n"
           "                     one)\n"
           "  -addr N, -pc N     numbers 0 to 127 kept for compatibility\n"
           "  -h, --help         print this text and end (first argument only)\n"
           "  --version          print the version and end (first argument only)\n"
           "\n"
           "pyrrow-cli uploads without a window; pyrrow-sim plays control units.\n";
}

}  // namespace pyrrow
