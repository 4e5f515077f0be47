#include <hidapi.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/hid.h"
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
// turns, and each thread keeps the text of its own last open.
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
        HidDevice device = hid_open(vendorId, productId, nullptr);
        t_openError = device == nullptr ? FromWide(hid_error(nullptr)) : std::u16string();
        return device;
    }
    HidDevice OpenPath(const std::string& path) override
    {
        const std::lock_guard<std::mutex> lock(m_libraryState);
        HidDevice device = hid_open_path(path.c_str());
        t_openError = device == nullptr ? FromWide(hid_error(nullptr)) : std::u16string();
        return device;
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
    void Close(HidDevice device) override { hid_close(device); }

private:
    static thread_local std::u16string t_openError;
    std::mutex m_libraryState;
};

thread_local std::u16string Hidapi::t_openError;

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
