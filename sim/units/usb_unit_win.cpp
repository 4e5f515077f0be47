// Windows lets no program play a HID device without a driver of its own:
// the USB unit says so.
#include "sim/units/usb_unit.h"

namespace pyrrow::sim {

std::unique_ptr<Unit> UsbUnit::Open(asio::io_context&, Recorder&, Settings, const std::string&,
                                    platform::SystemError* error)
{
    error->text =
        "the USB unit needs Linux (/dev/uhid); on Windows use the TCP unit or the serial unit on a COM port";
    return nullptr;
}

}  // namespace pyrrow::sim
