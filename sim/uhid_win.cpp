// Windows lets no program play a HID device without a driver of its own:
// the USB unit says so, and the calls after a failed Open only repeat it.
#include "sim/uhid.h"

namespace pyrrow::sim {
namespace {

bool NeedsLinux(std::string* error)
{
    *error = "the USB unit needs Linux (/dev/uhid); on Windows use the TCP unit or the serial unit on a COM port";
    return false;
}

}  // namespace

std::unique_ptr<UhidDevice> UhidDevice::Open(const std::string&, std::string* error)
{
    NeedsLinux(error);
    return nullptr;
}

std::unique_ptr<UhidDevice> UhidDevice::Adopt(int fd)
{
    return std::unique_ptr<UhidDevice>(new UhidDevice(fd));
}

UhidDevice::~UhidDevice() = default;

bool UhidDevice::Create(const UhidIdentity&, std::string* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::Read(UhidEvent*, std::string* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::SendInput(const std::string&, std::string* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::RefuseGetReport(std::uint32_t, std::string* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::AcceptSetReport(std::uint32_t, std::string* error)
{
    return NeedsLinux(error);
}

void UhidDevice::Destroy() {}

}  // namespace pyrrow::sim
