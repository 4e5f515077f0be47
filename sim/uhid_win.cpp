// Windows lets no program play a HID device without a driver of its own:
// the USB unit says so, and no device is ever made.
#include "sim/uhid.h"

namespace pyrrow::sim {
namespace {

bool NeedsLinux(platform::SystemError* error)
{
    error->text =
        "the USB unit needs Linux (/dev/uhid); on Windows use the TCP unit or the serial unit on a COM port";
    return false;
}

}  // namespace

struct UhidDevice::Interface {};

UhidDevice::UhidDevice(std::unique_ptr<Interface> interface) : m_interface(std::move(interface)) {}

std::unique_ptr<UhidDevice> UhidDevice::Open(asio::io_context&, const std::string&, platform::SystemError* error)
{
    NeedsLinux(error);
    return nullptr;
}

std::unique_ptr<UhidDevice> UhidDevice::Adopt(asio::io_context&, int)
{
    return nullptr;
}

UhidDevice::~UhidDevice() = default;

void UhidDevice::AwaitEvent(std::function<void()>) {}

bool UhidDevice::Create(const UhidIdentity&, platform::SystemError* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::Read(UhidEvent*, platform::SystemError* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::SendInput(const std::string&, platform::SystemError* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::RefuseGetReport(std::uint32_t, platform::SystemError* error)
{
    return NeedsLinux(error);
}

bool UhidDevice::AcceptSetReport(std::uint32_t, platform::SystemError* error)
{
    return NeedsLinux(error);
}

}  // namespace pyrrow::sim
