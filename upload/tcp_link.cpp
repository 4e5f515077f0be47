#include "upload/tcp_link.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/net/ipv4_text.h"

namespace pyrrow::upload {
namespace {

using protocol::kTcpEchoedBytes;
using protocol::kTcpFrameData;
using protocol::kTcpStatusHigh;
using protocol::kTcpStatusLow;
constexpr std::size_t kReceiveBuffer = 256;
constexpr std::size_t kMinimumAcknowledgement = protocol::kTcpMinimumAcknowledgement;
constexpr std::size_t kFrameSize = protocol::kTcpCounterBytes + kTcpFrameData;

std::string Hex(unsigned value)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kDigits[(value >> shift) & 0xF];
    return text;
}

}  // namespace

TcpTiming TcpTiming::Scaled(double factor) const
{
    TcpTiming t = *this;
    // At least one look and one millisecond: none would fail at once.
    t.connectTimeout =
        std::chrono::milliseconds(std::max(1L, std::lround(static_cast<double>(connectTimeout.count()) * factor)));
    t.receiveAttempts = static_cast<unsigned>(std::max(1L, std::lround(receiveAttempts * factor)));
    return t;
}

TcpLink::TcpLink(std::uint32_t address, std::uint16_t port, Connection& connection, TcpTiming timing)
    : Link(platform::Ipv4Text(address, port)), m_address(address), m_port(port), m_connection(connection), m_timing(timing)
{
}

void TcpLink::EncodeFrame(std::uint32_t counter, std::span<const unsigned char> data, unsigned char* frame)
{
    frame[0] = static_cast<unsigned char>(counter & 0xFF);
    frame[1] = static_cast<unsigned char>((counter >> 8) & 0xFF);
    if (!data.empty())
        std::memcpy(frame + 2, data.data(), data.size());
}

std::optional<UploadFailure> TcpLink::ConnectTcp(const LinkContext& context)
{
    platform::SystemError error;
    m_connection = platform::TcpConnection::Connect(m_address, m_port, m_timing.connectTimeout, &error,
                                                    context.cancel);
    if (m_connection)
        return std::nullopt;
    if (context.cancel.stop_requested())
        return Failure(FailureKind::Cancelled, "connect to", "asked to stop");
    const FailureKind kind = error.kind == platform::SystemError::Kind::Denied ? FailureKind::AccessDenied
                             : error.kind == platform::SystemError::Kind::Host ? FailureKind::Host
                                                                                : FailureKind::NoDevice;
    return Failure(kind, "connect to", error.text);
}

TcpLink::Received TcpLink::Receive(unsigned char* buffer, std::size_t size, std::size_t minimum,
                                   const LinkContext& context)
{
    Received received;
    std::string& ended = received.ended;
    // One receive: at once, or waiting at most wait for bytes to come.
    const auto take = [&](unsigned char* into, std::size_t room, std::chrono::milliseconds wait = {}) {
        platform::SystemError error;
        const int got = wait.count() > 0 ? m_connection->ReceiveWithin(into, room, wait, &error, context.cancel)
                                         : m_connection->Receive(into, room, &error);
        if (got == 0)
            ended = "the device closed the connection";
        else if (got < 0 && !error.text.empty())
            ended = "the connection broke: " + error.text;  // a reset, in the system's words
        if (got > 0 && context.trace)
            context.trace(false, std::span<const unsigned char>(into, static_cast<std::size_t>(got)));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    };
    if (m_timing.paceOnAcknowledgement) {
        // The same total wait, but the answer is taken the moment it comes,
        // and its pieces add up.
        using Clock = std::chrono::steady_clock;
        const auto deadline =
            Clock::now() + std::chrono::milliseconds(static_cast<long long>(m_timing.receivePause) *
                                                     m_timing.receiveAttempts);
        while (received.count < minimum && !context.cancel.stop_requested()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                break;
            received.count += take(buffer + received.count, size - received.count, left);
            if (!ended.empty())
                break;  // a closed connection would answer at once for ever
        }
        return received;
    }
    for (unsigned attempt = 0; attempt < m_timing.receiveAttempts && !context.cancel.stop_requested(); ++attempt) {
        context.sleep(m_timing.receivePause);
        if (const std::size_t got = take(buffer, size); got >= minimum)
            return {got, {}};
        if (!ended.empty())
            return received;  // looking again at a connection that is gone tells nothing new
    }
    return received;
}

std::optional<UploadFailure> TcpLink::SendHeaderTcp(std::span<const unsigned char> header,
                                                    const LinkContext& context)
{
    platform::SystemError error;
    if (context.trace)
        context.trace(true, header);
    const int sent = m_connection->Send(header.data(), header.size(), &error);
    if (sent != static_cast<int>(header.size()))
        return Sent(Failure(FailureKind::HeaderSend, "send the header to",
                            sent < 0 ? error.text : std::to_string(sent) + " of 32 bytes sent"),
                    static_cast<std::size_t>(std::max(sent, 0)));

    unsigned char answer[kReceiveBuffer];
    const auto [got, ended] =
        Receive(answer, sizeof answer, m_timing.paceOnAcknowledgement ? header.size() : 1, context);
    const auto failed = [&](FailureKind kind, const std::string& cause) {
        return Sent(Failure(kind, "wait for the header's answer from", cause), header.size());
    };
    if (context.cancel.stop_requested())
        return failed(FailureKind::Cancelled, "asked to stop");
    if (got == 0)
        return failed(!ended.empty() ? FailureKind::LinkLost : FailureKind::HeaderNoAnswer,
                      !ended.empty() ? ended
                             : "no answer in " + std::to_string(m_timing.receiveAttempts * m_timing.receivePause) +
                                   " ms (" + std::to_string(m_timing.receiveAttempts) + " looks " +
                                   std::to_string(m_timing.receivePause) +
                                   " ms apart); the unit must be waiting for firmware");
    if (got != header.size())
        return failed(FailureKind::HeaderRejected, "an answer of " + std::to_string(got) + " bytes, 32 expected");
    if (std::memcmp(answer, header.data(), kTcpEchoedBytes) != 0)
        return failed(FailureKind::HeaderRejected, "the answer does not echo the header");
    const unsigned status = (static_cast<unsigned>(answer[kTcpStatusHigh]) << 8) | answer[kTcpStatusLow];
    if (status != 0)
        return failed(FailureKind::HeaderRejected, "the device answered with status " + Hex(status));
    return std::nullopt;
}

std::optional<UploadFailure> TcpLink::SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                                const LinkContext& context)
{
    unsigned char frame[kFrameSize];
    const std::span<const unsigned char> data = block.first(std::min(block.size(), kTcpFrameData));
    EncodeFrame(number, data, frame);
    const std::size_t size = protocol::kTcpCounterBytes + data.size();
    if (context.trace)
        context.trace(true, std::span<const unsigned char>(frame, size));
    platform::SystemError error;
    const int sent = m_connection->Send(frame, size, &error);
    if (sent != static_cast<int>(size))
        // The counter goes first: only what follows it is the file's.
        return Sent(Failure(FailureKind::BlockSend, "send frame " + std::to_string(number) + " to",
                            sent < 0 ? error.text
                                     : std::to_string(sent) + " of " + std::to_string(size) + " bytes sent"),
                    static_cast<std::size_t>(std::max(sent - static_cast<int>(protocol::kTcpCounterBytes), 0)));

    unsigned char answer[kReceiveBuffer];
    const auto [got, ended] = Receive(answer, sizeof answer, kMinimumAcknowledgement, context);
    if (got >= kMinimumAcknowledgement)
        return std::nullopt;
    // The frame went: the unit may hold it, acknowledged or not.
    const std::string action = "wait for the acknowledgement of frame " + std::to_string(number) + " from";
    if (context.cancel.stop_requested())
        return Sent(Failure(FailureKind::Cancelled, action, "asked to stop"), data.size());
    return Sent(Failure(!ended.empty() ? FailureKind::LinkLost : FailureKind::BlockNoAck, action,
                        !ended.empty() ? ended
                               : "no acknowledgement of 6 bytes or more in " +
                                     std::to_string(m_timing.receiveAttempts * m_timing.receivePause) + " ms"),
                data.size());
}

void TcpLink::Close()
{
    m_connection.reset();
}

void TcpLink::Cut()
{
    if (m_connection)
        m_connection->Reset();
    m_connection.reset();
}

}  // namespace pyrrow::upload
