// The TCP link: one connection, the header echoed back with a zero status,
// then numbered frames of up to 1024 bytes, each acknowledged by the device
// before the next is sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/net/tcp_connection.h"
#include "upload/upload_engine.h"

namespace pyrrow::upload {

struct TcpTiming {
    std::chrono::milliseconds connectTimeout{3500};
    unsigned receivePause = 100;
    unsigned receiveAttempts = 26;
    // Send the next frame as soon as the acknowledgement is there instead of
    // looking for it every 100 ms; the wait stays bounded by the same total,
    // and what comes within it in several pieces adds up to one answer.
    bool paceOnAcknowledgement = false;

    // The time-outs stretched by factor (the pauses stay).
    TcpTiming Scaled(double factor) const;
};

class TcpLink final : public Link {
public:
    using Connection = std::unique_ptr<platform::TcpConnection>;

    // The connection is kept in connection (the window's m_socket) while the
    // upload runs, and it is empty again after Close.
    TcpLink(std::uint32_t address, std::uint16_t port, Connection& connection, TcpTiming timing = {});
    ~TcpLink() override { Close(); }

    std::optional<UploadFailure> Open(const LinkContext& context) override { return ConnectTcp(context); }
    std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                const LinkContext& context) override
    {
        return SendHeaderTcp(header, context);
    }
    std::size_t BlockSize() const override { return protocol::kTcpFrameData; }
    std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                           const LinkContext& context) override;
    unsigned PauseAfterBlock() const override { return 0; }
    void Close() override;
    // A reset, so that the device sees the upload cut short.
    void Cut() override;

    // The one connection attempt, within connectTimeout.
    std::optional<UploadFailure> ConnectTcp(const LinkContext& context);
    // The header sent in one piece, then its answer awaited: the first
    // receive that brings anything decides (with paceOnAcknowledgement, what
    // comes within the wait up to the answer's 32 bytes).
    std::optional<UploadFailure> SendHeaderTcp(std::span<const unsigned char> header, const LinkContext& context);

    // The frame of a data block: the block counter's low 16 bits, low byte
    // first, then the data. frame must hold 2 + data.size() bytes.
    static void EncodeFrame(std::uint32_t counter, std::span<const unsigned char> data, unsigned char* frame);

private:
    struct Received {
        std::size_t count = 0;  // the answer's bytes; 0: none came
        std::string ended;      // the connection was closed or reset: which
    };
    // Waits as the protocol does for an answer of at least minimum bytes
    // (1: anything). At the protocol's pace each receive counts alone, and
    // none of fewer bytes is an answer; with paceOnAcknowledgement the
    // pieces that come within the wait add up, and count says how far they
    // came. A receive that finds the connection closed or reset ends the
    // wait at once.
    Received Receive(unsigned char* buffer, std::size_t size, std::size_t minimum, const LinkContext& context);

    std::uint32_t m_address;
    std::uint16_t m_port;
    Connection& m_connection;
    TcpTiming m_timing;
};

}  // namespace pyrrow::upload
