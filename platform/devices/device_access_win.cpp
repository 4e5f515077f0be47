// Windows: a serial port is not tried (opening one raises DTR, which resets
// some units, and only opening tells whether it is free); a HID unit is
// opened for reading and writing, shared, and closed at once, which moves no
// line of the unit (an upload holds it without sharing write access, so
// this open fails while one runs).
#include <windows.h>

#include "platform/devices/device_access.h"
#include "platform/serial/serial.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

// HID interfaces are named in the \\?\ namespace, serial ports \\.\COMn.
bool IsHidInterface(const std::string& path)
{
    return path.rfind("\\\\?\\", 0) == 0;
}

}  // namespace

NodeAccess ProbeNode(const std::string& path)
{
    NodeAccess access;
    const std::wstring wide = ToWide(Utf8ToUtf16Lossy(path));
    if (!IsHidInterface(path)) {
        access.state = SerialPortExists(path) ? NodeAccess::State::Unchecked : NodeAccess::State::Missing;
        return access;
    }
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        ::CloseHandle(h);
        access.state = NodeAccess::State::Ok;
        return access;
    }
    switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED:
        access.state = NodeAccess::State::Denied;
        break;
    case ERROR_SHARING_VIOLATION:
        access.state = NodeAccess::State::Busy;
        access.holder = "a program that opened it for itself alone";
        break;
    default:
        access.state = NodeAccess::State::Missing;
        break;
    }
    return access;
}

std::string DeniedAdvice(bool usb, const NodeAccess&, const std::string&)
{
    if (usb)
        return "Windows refused this user the HID device; close other programs that talk to the unit, replug it "
               "and flash again";
    return "Windows refused the port: another program may have it open (Windows says \"access denied\" for that "
           "too); close it and flash again";
}

std::string BusyMeaning()
{
    return "the port is in use by another program, or this user may not use it (Windows refuses both with "
           "\"access denied\")";
}

}  // namespace pyrrow::platform
