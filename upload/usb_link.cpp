#include "upload/usb_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/utf.h"

namespace pyrrow::upload {
namespace {

constexpr std::size_t kReportSize = 1 + protocol::kUsbReportSize;  // the report id first

}  // namespace

UsbTiming UsbTiming::Scaled(double factor) const
{
    UsbTiming t = *this;
    // At least one poll: none would fail at once.
    t.answerPolls = static_cast<unsigned>(std::max(1L, std::lround(answerPolls * factor)));
    return t;
}

UsbLink::UsbLink(platform::HidBackend& hid, std::string path, UsbTiming timing)
    : Link(path.empty() ? std::string("0483:a151") : path), m_hid(hid), m_path(std::move(path)), m_timing(timing)
{
}

std::optional<UploadFailure> UsbLink::Open(const LinkContext&)
{
    m_device = m_path.empty() ? m_hid.Open(protocol::kUsbVendorId, protocol::kUsbProductId) : m_hid.OpenPath(m_path);
    if (m_device != nullptr)
        return std::nullopt;
    // The library's own words, asked for right after the failed call.
    const std::string cause = platform::Utf16ToUtf8Lossy(m_hid.Error(nullptr));
    const platform::SystemError::Kind kind = m_hid.OpenErrorKind();
    const bool denied = cause.find("ermission denied") != std::string::npos;
    return Failure(kind == platform::SystemError::Kind::Host   ? FailureKind::Host
                   : kind == platform::SystemError::Kind::Busy ? FailureKind::DeviceBusy
                   : denied                                    ? FailureKind::AccessDenied
                                                               : FailureKind::NoDevice,
                   "open", cause.empty() ? "no such device" : cause);
}

std::optional<UploadFailure> UsbLink::ExchangeHeader(std::span<const unsigned char> header,
                                                     const LinkContext& context)
{
    return SendHeaderUsb(header, context);
}

std::optional<UploadFailure> UsbLink::SendHeaderUsb(std::span<const unsigned char> header,
                                                    const LinkContext& context)
{
    // A blocking read would hold the upload for ever.
    if (m_hid.SetNonblocking(m_device, 1) != 0)
        return Failure(FailureKind::LinkSetup, "switch to non-blocking reads on",
                       platform::Utf16ToUtf8Lossy(m_hid.Error(m_device)));
    unsigned char report[kReportSize] = {protocol::kUsbReportId};
    std::memcpy(report + 1, header.data(), std::min(header.size(), kReportSize - 1));
    if (context.trace)
        context.trace(true, std::span<const unsigned char>(report, sizeof report));
    if (m_hid.Write(m_device, report, sizeof report) <= 0)
        return Failure(FailureKind::HeaderSend, "write the header to",
                       platform::Utf16ToUtf8Lossy(m_hid.Error(m_device)));
    unsigned char answer[kReportSize];
    for (unsigned poll = 0; poll < m_timing.answerPolls && !context.cancel.stop_requested(); ++poll) {
        context.sleep(m_timing.pollPause);
        const int got = m_hid.Read(m_device, answer, sizeof answer);
        if (got > 0) {
            if (context.trace)
                context.trace(false, std::span<const unsigned char>(answer, static_cast<std::size_t>(got)));
            return std::nullopt;
        }
        if (got == -1) {
            const std::u16string why = m_hid.Error(m_device);
            if (m_timing.readErrorEndsWait) {
                const std::string text = platform::Utf16ToUtf8Lossy(why);
                return Sent(Failure(FailureKind::LinkLost, "wait for the header's answer from",
                                    "reading failed" + (text.empty() ? std::string() : ": " + text) +
                                        "; the unit went away"),
                            header.size());
            }
            platform::DebugOutput(u"usb: read the header's answer: " + why);
        }
    }
    if (context.cancel.stop_requested())
        return Sent(Failure(FailureKind::Cancelled, "wait for the header's answer from", "asked to stop"),
                    header.size());
    return Sent(Failure(FailureKind::HeaderNoAnswer, "wait for the header's answer from",
                        "no input report in " + std::to_string(m_timing.answerPolls) + " polls " +
                            std::to_string(m_timing.pollPause) + " ms apart; the unit must be waiting for firmware"),
                header.size());
}

std::optional<UploadFailure> UsbLink::SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                                const LinkContext& context)
{
    unsigned char report[kReportSize] = {protocol::kUsbReportId};
    std::memcpy(report + 1, block.data(), std::min(block.size(), kReportSize - 1));
    if (context.trace)
        context.trace(true, std::span<const unsigned char>(report, sizeof report));
    // A short count is no failure; only -1 is.
    if (m_hid.Write(m_device, report, sizeof report) == -1)
        return Failure(FailureKind::BlockSend, "write report " + std::to_string(number) + " to",
                       platform::Utf16ToUtf8Lossy(m_hid.Error(m_device)));
    return std::nullopt;
}

void UsbLink::Close()
{
    if (m_device == nullptr)
        return;
    m_hid.Close(m_device);
    m_device = nullptr;
}

}  // namespace pyrrow::upload
