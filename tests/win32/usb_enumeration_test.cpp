// USB HID devices found through SetupAPI: with none of the product's ids
// attached, opening finds nothing and says so, without an error.
#include <gtest/gtest.h>

#include "platform/devices/hid.h"

namespace {

TEST(UsbHid, NoUnitAttachedIsNoneFoundNotAFailure)
{
    testing::internal::CaptureStderr();
    const pyrrow::platform::HidDevice device = pyrrow::platform::SystemHid().Open(0x0483, 0xA151);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(said, "usb: open 0483:A151: no such device is attached\n");
}

}  // namespace
