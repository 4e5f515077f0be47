#include <hidapi.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/devices/hid.h"
#include "platform/devices/node_lock.h"
#include "platform/utf.h"

namespace pyrrow::platform {
namespace {

std::u16string FromWide(const wchar_t* text)
{
    std::u16string out;
    // wchar_t holds UTF-32 on Linux.
    for (const wchar_t* p = text; p != nullptr && *p != 0; ++p)
        AppendCodePoint(out, static_cast<char32_t>(*p));
    return out;
}

// hidapi starts itself on the first call and keeps one error text for all
// failed opens: units opened side by side (the command-line tool) take
// turns, and each thread keeps the text of its own last open. Every open
// device holds a lock on its hidraw node until it is closed, so that a
// second upload to the same unit, from this process or another, is
// refused before it writes a report.
class Hidapi final : public HidBackend {
public:
    std::vector<HidDeviceInfo> Enumerate(unsigned short vendorId, unsigned short productId) override
    {
        const std::lock_guard<std::mutex> lock(m_libraryState);
        std::vector<HidDeviceInfo> found;
        hid_device_info* list = hid_enumerate(vendorId, productId);
        for (const hid_device_info* d = list; d != nullptr; d = d->next)
            found.push_back({d->path != nullptr ? d->path : "", FromWide(d->serial_number)});
        hid_free_enumeration(list);
        return found;
    }
    HidDevice Open(unsigned short vendorId, unsigned short productId) override
    {
        const std::lock_guard<std::mutex> lock(m_libraryState);
        // hid_open does not tell which node it opened, and the lock needs
        // it: the first device of the enumeration, as hid_open takes it.
        std::string path;
        hid_device_info* list = hid_enumerate(vendorId, productId);
        if (list != nullptr && list->path != nullptr)
            path = list->path;
        hid_free_enumeration(list);
        if (path.empty()) {
            t_openError = u"no such device is attached";
            t_openKind = SystemError::Kind::NotFound;
            return nullptr;
        }
        return OpenAndLock(path);
    }
    HidDevice OpenPath(const std::string& path) override
    {
        const std::lock_guard<std::mutex> lock(m_libraryState);
        return OpenAndLock(path);
    }
    int SetNonblocking(HidDevice device, int nonblocking) override { return hid_set_nonblocking(device, nonblocking); }
    int Write(HidDevice device, const unsigned char* data, std::size_t length) override
    {
        return hid_write(device, data, length);
    }
    int Read(HidDevice device, unsigned char* data, std::size_t length) override
    {
        return hid_read(device, data, length);
    }
    std::u16string Error(HidDevice device) override
    {
        return device != nullptr ? FromWide(hid_error(device)) : t_openError;
    }
    SystemError::Kind OpenErrorKind() override { return t_openKind; }
    void Close(HidDevice device) override
    {
        // Taken out before the device is freed, whose address another open
        // may get at once; let go only after the device is closed.
        NodeLock held;
        {
            const std::lock_guard<std::mutex> lock(m_libraryState);
            if (auto node = m_locks.extract(device))
                held = std::move(node.mapped());
        }
        hid_close(device);
    }

private:
    // The device at path with its node locked, or null with the reason.
    // Called with m_libraryState held.
    HidDevice OpenAndLock(const std::string& path)
    {
        errno = 0;
        HidDevice device = hid_open_path(path.c_str());
        if (device == nullptr) {
            // The library keeps no code, but its failed open() left errno:
            // a host short of descriptors or memory is told as such.
            const int code = errno;
            t_openError = FromWide(hid_error(nullptr));
            t_openKind = SystemErrorKind(code) == SystemError::Kind::Host ? SystemError::Kind::Host
                                                                          : SystemError::Kind::Other;
            return nullptr;
        }
        NodeLock node;
        SystemError error;
        if (!node.Take(path, &error)) {
            hid_close(device);
            t_openError = Utf8ToUtf16Lossy(error.text);
            t_openKind = error.kind;
            return nullptr;
        }
        m_locks.insert_or_assign(device, std::move(node));
        t_openError.clear();
        t_openKind = SystemError::Kind::Other;
        return device;
    }

    static thread_local std::u16string t_openError;
    static thread_local SystemError::Kind t_openKind;
    std::mutex m_libraryState;
    std::map<HidDevice, NodeLock> m_locks;  // of every open device
};

thread_local std::u16string Hidapi::t_openError;
thread_local SystemError::Kind Hidapi::t_openKind = SystemError::Kind::Other;

}  // namespace

HidBackend& SystemHid()
{
    static Hidapi hidapi;
    return hidapi;
}

void ShutdownHid()
{
    hid_exit();
}

void DebugOutput(const std::u16string& text)
{
    std::fprintf(stderr, "%s\n", Utf16ToUtf8Lossy(text).c_str());
}

}  // namespace pyrrow::platform
