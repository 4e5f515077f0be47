// The USB HID link: 65-byte output reports (report id 0 and 64 payload
// bytes, zero padded) to the device 0483:A151; any input report answers the
// header, data reports are paced by 10 ms pauses.
#pragma once

#include <string>

#include "platform/devices/hid.h"
#include "upload/upload_engine.h"

namespace pyrrow::upload {

struct UsbTiming {
    unsigned pollPause = 1000;
    unsigned answerPolls = 5;
    unsigned pauseAfterReport = 10;
    // A failed read while waiting for the header's answer means the unit is
    // gone: the wait ends at once as a lost link (true), or the failure is
    // told on standard error and the polls go on (false, the window's way).
    bool readErrorEndsWait = false;

    // The wait for the answer stretched by factor (the pacing stays).
    UsbTiming Scaled(double factor) const;
};

class UsbLink final : public Link {
public:
    // The first device with the product's ids, or the one at path when
    // path is not empty.
    UsbLink(platform::HidBackend& hid, std::string path = {}, UsbTiming timing = {});
    ~UsbLink() override { Close(); }

    std::optional<UploadFailure> Open(const LinkContext& context) override;
    // SendHeaderUsb.
    std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                const LinkContext& context) override;
    std::size_t BlockSize() const override { return protocol::kUsbReportSize; }
    std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                           const LinkContext& context) override;
    unsigned PauseAfterBlock() const override { return m_timing.pauseAfterReport; }
    void Close() override;

private:
    // The header report written, then up to answerPolls polls for any input
    // report.
    std::optional<UploadFailure> SendHeaderUsb(std::span<const unsigned char> header, const LinkContext& context);

    platform::HidBackend& m_hid;
    std::string m_path;
    UsbTiming m_timing;
    platform::HidDevice m_device = nullptr;
};

}  // namespace pyrrow::upload
