// USB HID access as the USB transport needs it: the five hidapi calls behind
// one narrow interface, so that tests can put a scripted device in the
// library's place; the program uses hidapi itself.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/system_error.h"

struct hid_device_;

namespace pyrrow::platform {

using HidDevice = hid_device_*;

// One attached device: the system's path to it and its serial number.
struct HidDeviceInfo {
    std::string path;
    std::u16string serialNumber;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;

    // The attached devices with these ids, in the order the system gives.
    virtual std::vector<HidDeviceInfo> Enumerate(unsigned short vendorId, unsigned short productId) = 0;
    // The first device with these ids, or null. An open device is this
    // process's alone until it is closed: another open of it, here or in
    // another program of ours, fails as Busy (OpenErrorKind).
    virtual HidDevice Open(unsigned short vendorId, unsigned short productId) = 0;
    // The device at this path, or null; held as Open holds it.
    virtual HidDevice OpenPath(const std::string& path) = 0;
    virtual int SetNonblocking(HidDevice device, int nonblocking) = 0;
    // The bytes written, or -1.
    virtual int Write(HidDevice device, const unsigned char* data, std::size_t length) = 0;
    // The bytes read, 0 when nothing is waiting (non-blocking), or -1.
    virtual int Read(HidDevice device, unsigned char* data, std::size_t length) = 0;
    // The text of the device's last error (null: of the last failed open);
    // empty when the library gives none.
    virtual std::u16string Error(HidDevice device) = 0;
    // What this thread's last failed open means: Busy when another holds the
    // device, Other when the library does not tell.
    virtual SystemError::Kind OpenErrorKind() { return SystemError::Kind::Other; }
    // Closes the device and lets it go for others.
    virtual void Close(HidDevice device) = 0;
};

// hidapi itself (the hidraw backend on Linux); on Windows, SetupAPI and hid.dll.
HidBackend& SystemHid();

// Releases what hidapi holds; called once when the program ends.
void ShutdownHid();

// A text for whoever watches the program's diagnostics (standard error).
void DebugOutput(const std::u16string& text);

}  // namespace pyrrow::platform
