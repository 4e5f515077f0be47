#include <windows.h>

#include <algorithm>

#include "platform/serial/serial_ports.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

std::vector<std::u16string> EnumerateSerialPorts(const std::string&)
{
    // The drivers of the serial ports present enter each port's name here.
    std::vector<std::u16string> ports;
    HKEY key = nullptr;
    const LONG opened = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        // Missing when no serial port was ever present: that is no failure.
        if (opened != ERROR_FILE_NOT_FOUND)
            ReportSystemError("serial", "open the registry key", u"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM",
                              static_cast<unsigned long>(opened));
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key, index, valueName, &nameLength, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataBytes);
        if (r == ERROR_MORE_DATA)
            continue;  // a value too long to be a port name
        if (r != ERROR_SUCCESS) {
            if (r != ERROR_NO_MORE_ITEMS)
                ReportSystemError("serial", "read the registry key", u"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                  static_cast<unsigned long>(r));
            break;
        }
        if (type != REG_SZ)
            continue;
        std::size_t length = dataBytes / sizeof(wchar_t);
        while (length > 0 && data[length - 1] == 0)
            --length;
        if (length > 0)
            ports.push_back(FromWide(std::wstring(data, length)));
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

std::vector<std::u16string> ConsoleSerialPorts(const std::string&)
{
    return {};
}

bool IsConsolePort(const std::u16string&, const std::string&)
{
    return false;  // Windows keeps no console on a COM port
}

}  // namespace pyrrow::platform
