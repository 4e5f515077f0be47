#include "upload/serial_link.h"

#include <algorithm>
#include <cmath>

namespace pyrrow::upload {
namespace {

constexpr unsigned kBaudRate = protocol::kSerialLineRate;
constexpr std::size_t kAnswerBuffer = 256;

FailureKind OpenFailureKind(platform::SystemError::Kind kind)
{
    switch (kind) {
    case platform::SystemError::Kind::NotFound: return FailureKind::NoDevice;
    case platform::SystemError::Kind::Denied: return FailureKind::AccessDenied;
    case platform::SystemError::Kind::Busy: return FailureKind::DeviceBusy;
    case platform::SystemError::Kind::Host: return FailureKind::Host;
    case platform::SystemError::Kind::Other:
    case platform::SystemError::Kind::Exists:
    case platform::SystemError::Kind::NotAFile: break;
    }
    return FailureKind::NoDevice;
}

std::string DeviceName(const std::string& portName)
{
    std::string device = platform::SerialDevicePath(portName);
    return device.empty() ? "(no port)" : device;
}

}  // namespace

SerialLink::SerialLink(std::string portName, platform::SerialHandle& handle, SerialTiming timing)
    : Link(DeviceName(portName)),
      m_portName(std::move(portName)),
      m_handle(handle),
      m_timing(timing)
{
}

std::optional<UploadFailure> SerialLink::Open(const LinkContext&)
{
    platform::SystemError error;
    m_handle = platform::OpenSerial(m_portName, &error);
    if (m_handle == nullptr)
        return Failure(OpenFailureKind(error.kind), "open", error.text);
    // A port that refuses the line settings cannot carry the upload.
    if (!platform::ConfigureSerial(m_handle, kBaudRate, &error))
        return Failure(FailureKind::LinkSetup, "configure", error.text);
    platform::SetSerialTimeouts(m_handle, m_timing.timeouts);
    return std::nullopt;
}

std::optional<UploadFailure> SerialLink::ExchangeHeader(std::span<const unsigned char> header,
                                                        const LinkContext& context)
{
    platform::SystemError error;
    std::size_t written = 0;
    if (context.trace)
        context.trace(true, header);
    // The pause starts once the header has left the port.
    if (!platform::WriteSerial(m_handle, header.data(), header.size(), &written, &error, context.cancel) ||
        written != header.size())
        return Failure(context.cancel.stop_requested() ? FailureKind::Cancelled : FailureKind::HeaderSend,
                       "write the header to", error.text);
    context.sleep(m_timing.pauseAfterHeader);

    // Only an answer of exactly 32 bytes counts; its content is the device's.
    unsigned char answer[kAnswerBuffer];
    std::string rejected;
    std::string lost;
    for (unsigned attempt = 0; attempt < m_timing.answerAttempts && !context.cancel.stop_requested(); ++attempt) {
        std::size_t got = 0;
        if (!platform::ReadSerial(m_handle, answer, sizeof answer, &got, &error, context.cancel)) {
            lost = error.text;
            continue;
        }
        if (got > 0 && context.trace)
            context.trace(false, std::span<const unsigned char>(answer, got));
        if (got == header.size())
            return std::nullopt;
        if (got > 0)
            rejected = "an answer of " + std::to_string(got) + " bytes, 32 expected";
    }
    if (context.cancel.stop_requested())
        return Failure(FailureKind::Cancelled, "wait for the header's answer on", "asked to stop");
    if (!rejected.empty())
        return Failure(FailureKind::HeaderRejected, "wait for the header's answer on", rejected);
    if (!lost.empty())
        return Failure(FailureKind::LinkLost, "wait for the header's answer on", lost);
    const unsigned waited = m_timing.answerAttempts *
                            (m_timing.timeouts.readTotalConstant + m_timing.timeouts.readTotalMultiplier * 256);
    return Failure(FailureKind::HeaderNoAnswer, "wait for the header's answer on",
                   "no answer in " + std::to_string(m_timing.answerAttempts) + " reads (up to " +
                       std::to_string(waited) + " ms); the unit must be waiting for firmware");
}

std::optional<UploadFailure> SerialLink::SendBlock(std::span<const unsigned char> block, std::uint32_t,
                                                   const LinkContext& context)
{
    platform::SystemError error;
    std::size_t written = 0;
    if (context.trace)
        context.trace(true, block);
    // Done once the block has left the port: the pause after it is on the line.
    if (!platform::WriteSerial(m_handle, block.data(), block.size(), &written, &error, context.cancel))
        return Failure(context.cancel.stop_requested() ? FailureKind::Cancelled : FailureKind::LinkLost,
                       "write a block to", error.text);
    if (written != block.size())
        return Failure(FailureKind::BlockSend, "write a block to", error.text);
    return std::nullopt;
}

void SerialLink::Close()
{
    if (m_handle == nullptr)
        return;
    platform::CloseSerial(m_handle);
    m_handle = nullptr;
}

}  // namespace pyrrow::upload
