#include <windows.h>
#include <setupapi.h>

// mingw-w64's HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/devices/hid.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

// The open device: the handle of its interface, opened for overlapped I/O,
// the report lengths the device declares and its last error.
struct hid_device_ {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::u16string path;
    bool nonblocking = false;
    std::size_t outputLength = 0;
    std::size_t inputLength = 0;
    OVERLAPPED readIo{};
    bool readPending = false;
    std::vector<unsigned char> readBuffer;
    std::u16string lastError;
};

namespace pyrrow::platform {
namespace {

constexpr const char* kArea = "usb";
constexpr DWORD kWriteTimeoutMs = 1000;

void Remember(HidDevice device, const char* action, unsigned long code)
{
    device->lastError = SystemMessage(code);
    ReportSystemError(kArea, action, device->path, code);
}

// The interface paths of the HID devices present.
std::vector<std::wstring> HidInterfaces()
{
    std::vector<std::wstring> paths;
    GUID hidGuid;
    ::HidD_GetHidGuid(&hidGuid);
    const HDEVINFO set = ::SetupDiGetClassDevsW(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        ReportSystemError(kArea, "list", u"the HID devices", ::GetLastError());
        return paths;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &data)) {
            const DWORD error = ::GetLastError();
            if (error != ERROR_NO_MORE_ITEMS)
                ReportSystemError(kArea, "list", u"the HID devices", error);
            break;
        }
        DWORD needed = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
        if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            continue;
        std::vector<unsigned char> buffer(needed);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr)) {
            ReportSystemError(kArea, "read the path of", u"a HID device", ::GetLastError());
            continue;
        }
        paths.emplace_back(detail->DevicePath);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return paths;
}

// Whether the device behind path has these ids; opened without access
// rights, which works while another program uses it.
bool HasIds(const std::wstring& path, unsigned short vendorId, unsigned short productId)
{
    const HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    const bool match = ::HidD_GetAttributes(h, &attributes) && attributes.VendorID == vendorId &&
                       attributes.ProductID == productId;
    ::CloseHandle(h);
    return match;
}

// The device at path; on failure *reason gets the system's words and *kind
// what they mean. Write access is not shared: while an upload has the
// device, another program (or another run of ours) that opens it for
// writing is refused with a sharing violation, and this open is refused
// while another holds it for writing. Opens without access rights (the
// enumeration) still work.
HidDevice OpenInterface(const std::wstring& path, std::u16string* reason, SystemError::Kind* kind)
{
    *kind = SystemError::Kind::Other;
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        *reason = SystemMessage(code);
        SystemError error;
        SetSystemError(&error, static_cast<int>(code));
        *kind = error.kind;
        ReportSystemError(kArea, "open", FromWide(path), code);
        return nullptr;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    HIDP_CAPS caps{};
    const bool described = ::HidD_GetPreparsedData(h, &preparsed) && ::HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    const DWORD error = ::GetLastError();
    if (preparsed != nullptr)
        ::HidD_FreePreparsedData(preparsed);
    auto* device = described ? new (std::nothrow) hid_device_ : nullptr;
    HANDLE event = device != nullptr ? ::CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    if (device == nullptr || event == nullptr) {
        *reason = SystemMessage(error);
        if (!described)
            ReportSystemError(kArea, "read the report lengths of", FromWide(path), error);
        delete device;
        ::CloseHandle(h);
        return nullptr;
    }
    device->handle = h;
    device->path = FromWide(path);
    device->outputLength = caps.OutputReportByteLength;
    device->inputLength = caps.InputReportByteLength;
    device->readIo.hEvent = event;
    device->readBuffer.resize(device->inputLength);
    return device;
}

// The serial number a device reports, or nothing.
std::u16string SerialNumberOf(const std::wstring& path)
{
    const HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    wchar_t serial[128] = {};
    const bool got = ::HidD_GetSerialNumberString(h, serial, sizeof serial);
    ::CloseHandle(h);
    return got ? FromWide(serial) : std::u16string();
}

class WindowsHid final : public HidBackend {
public:
    std::vector<HidDeviceInfo> Enumerate(unsigned short vendorId, unsigned short productId) override
    {
        std::vector<HidDeviceInfo> found;
        for (const std::wstring& path : HidInterfaces())
            if (HasIds(path, vendorId, productId))
                found.push_back({ToUtf8(FromWide(path)), SerialNumberOf(path)});
        return found;
    }

    HidDevice Open(unsigned short vendorId, unsigned short productId) override
    {
        for (const std::wstring& path : HidInterfaces())
            if (HasIds(path, vendorId, productId))
                return OpenInterface(path, &t_openError, &t_openKind);
        char ids[32];
        std::snprintf(ids, sizeof ids, "%04X:%04X", vendorId, productId);
        std::fprintf(stderr, "%s: open %s: no such device is attached\n", kArea, ids);
        t_openError = u"no such device is attached";
        t_openKind = SystemError::Kind::NotFound;
        return nullptr;
    }

    HidDevice OpenPath(const std::string& path) override
    {
        return OpenInterface(ToWide(Utf8ToUtf16Lossy(path)), &t_openError, &t_openKind);
    }

    int SetNonblocking(HidDevice device, int nonblocking) override
    {
        if (device == nullptr)
            return -1;
        device->nonblocking = nonblocking != 0;
        return 0;
    }

    int Write(HidDevice device, const unsigned char* data, std::size_t length) override
    {
        if (device == nullptr)
            return -1;
        // Windows takes whole reports only: a shorter one is padded with zeros.
        std::vector<unsigned char> report(data, data + length);
        if (report.size() < device->outputLength)
            report.resize(device->outputLength, 0);
        OVERLAPPED io{};
        io.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (io.hEvent == nullptr) {
            Remember(device, "write to", ::GetLastError());
            return -1;
        }
        DWORD written = 0;
        bool ok = ::WriteFile(device->handle, report.data(), static_cast<DWORD>(report.size()), nullptr, &io);
        DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
        if (!ok && error == ERROR_IO_PENDING) {
            if (::WaitForSingleObject(io.hEvent, kWriteTimeoutMs) != WAIT_OBJECT_0) {
                ::CancelIo(device->handle);
                error = WAIT_TIMEOUT;
            }
            ok = ::GetOverlappedResult(device->handle, &io, &written, TRUE);
            if (!ok && error == ERROR_IO_PENDING)
                error = ::GetLastError();
        } else if (ok) {
            ok = ::GetOverlappedResult(device->handle, &io, &written, TRUE);
            error = ok ? ERROR_SUCCESS : ::GetLastError();
        }
        ::CloseHandle(io.hEvent);
        if (!ok || error == WAIT_TIMEOUT) {
            Remember(device, "write to", error);
            return -1;
        }
        return static_cast<int>(written);
    }

    int Read(HidDevice device, unsigned char* data, std::size_t length) override
    {
        if (device == nullptr)
            return -1;
        if (!device->readPending) {
            ::ResetEvent(device->readIo.hEvent);
            if (!::ReadFile(device->handle, device->readBuffer.data(), static_cast<DWORD>(device->readBuffer.size()),
                            nullptr, &device->readIo)) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_IO_PENDING) {
                    Remember(device, "read from", error);
                    return -1;
                }
            }
            device->readPending = true;
        }
        DWORD got = 0;
        if (!::GetOverlappedResult(device->handle, &device->readIo, &got, device->nonblocking ? FALSE : TRUE)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE)
                return 0;  // nothing yet; the read stays pending for the next call
            device->readPending = false;
            Remember(device, "read from", error);
            return -1;
        }
        device->readPending = false;
        // Windows puts the report id before every report, 0 for a device
        // without numbered reports; as elsewhere, that 0 is not data.
        const unsigned char* report = device->readBuffer.data();
        std::size_t size = got;
        if (size > 0 && report[0] == 0) {
            ++report;
            --size;
        }
        const std::size_t copied = size < length ? size : length;
        std::memcpy(data, report, copied);
        return static_cast<int>(copied);
    }

    std::u16string Error(HidDevice device) override { return device != nullptr ? device->lastError : t_openError; }
    SystemError::Kind OpenErrorKind() override { return t_openKind; }

    void Close(HidDevice device) override
    {
        if (device == nullptr)
            return;
        if (device->readPending) {
            ::CancelIo(device->handle);
            DWORD ignored = 0;
            ::GetOverlappedResult(device->handle, &device->readIo, &ignored, TRUE);
        }
        ::CloseHandle(device->readIo.hEvent);
        ::CloseHandle(device->handle);
        delete device;
    }

private:
    // Why this thread's last open failed; the text for a null device.
    static thread_local std::u16string t_openError;
    static thread_local SystemError::Kind t_openKind;
};

thread_local std::u16string WindowsHid::t_openError;
thread_local SystemError::Kind WindowsHid::t_openKind = SystemError::Kind::Other;

}  // namespace

HidBackend& SystemHid()
{
    static WindowsHid backend;
    return backend;
}

void ShutdownHid() {}

void DebugOutput(const std::u16string& text)
{
    ::OutputDebugStringW(ToWide(text).c_str());
    std::fprintf(stderr, "%s\n", ToUtf8(text).c_str());
}

}  // namespace pyrrow::platform
