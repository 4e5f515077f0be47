// The TCP link: one connection, the header echoed back with a zero status,
// then numbered frames of up to 1024 bytes, each acknowledged by the device
// before the next is sent.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/socket.h"
#include "upload/upload_engine.h"

namespace pyrrow::upload {

struct TcpTiming {
    std::chrono::milliseconds connectTimeout{3500};
    unsigned receivePause = 100;
    unsigned receiveAttempts = 26;
    // Send the next frame as soon as the acknowledgement is there instead of
    // looking for it every 100 ms; the wait stays bounded by the same total.
    bool paceOnAcknowledgement = false;

    // The time-outs stretched by factor (the pauses stay).
    TcpTiming Scaled(double factor) const;
};

class TcpLink final : public Link {
public:
    // The connection is kept in handle (the window's m_socket) while the
    // upload runs, and handle is null again after Close.
    TcpLink(std::uint32_t address, std::uint16_t port, platform::SocketHandle& handle, TcpTiming timing = {});
    ~TcpLink() override { Close(); }

    // The one connection attempt, within connectTimeout.
    std::optional<UploadFailure> Open(const LinkContext& context) override;
    // The header sent, then the first receive that brings anything decides.
    std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                const LinkContext& context) override;
    std::size_t BlockSize() const override { return protocol::kTcpFrameData; }
    std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                           const LinkContext& context) override;
    unsigned PauseAfterBlock() const override { return 0; }
    void Close() override;

    // The frame of a data block: the block counter's low 16 bits, low byte
    // first, then the data. frame must hold 2 + data.size() bytes.
    static void EncodeFrame(std::uint32_t counter, std::span<const unsigned char> data, unsigned char* frame);

private:
    struct Received {
        int count = 0;      // of the first receive of at least minimum bytes, or 0
        std::string ended;  // the connection was closed or reset: which
    };
    // Waits as the protocol does for a receive of at least minimum bytes
    // (minimum 1: anything); a receive that finds the connection closed or
    // reset ends the wait at once.
    Received Receive(unsigned char* buffer, std::size_t size, int minimum, const LinkContext& context);

    std::uint32_t m_address;
    std::uint16_t m_port;
    platform::SocketHandle& m_handle;
    TcpTiming m_timing;
    bool m_networkStarted = false;
};

}  // namespace pyrrow::upload
