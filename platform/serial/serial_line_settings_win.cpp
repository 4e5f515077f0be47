#include <windows.h>

#include "platform/serial/serial_line_settings.h"

namespace pyrrow::platform {

SerialLineFailure SetSerialLineSettings(void* port, unsigned long baudRate, SerialEnd end)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb))
        return SerialLineFailure::Read;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (end == SerialEnd::Program) {
        // DTR goes off through the line settings: a separate CLRDTR is
        // refused by some drivers.
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
    } else {
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
    }
    return ::SetCommState(port, &dcb) ? SerialLineFailure::None : SerialLineFailure::Write;
}

}  // namespace pyrrow::platform
