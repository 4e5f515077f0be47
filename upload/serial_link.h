// The serial link: the header and a 32-byte answer, then raw 256-byte blocks
// paced by 10 ms pauses, at 115200 bit/s, 8 data bits, no parity.
#pragma once

#include <string>

#include "platform/serial/serial.h"
#include "upload/serial_timing.h"
#include "upload/upload_engine.h"

namespace pyrrow::upload {

class SerialLink final : public Link {
public:
    // The open port is kept in handle (the window's m_hComPort) while the
    // upload runs, and handle is null again after Close.
    SerialLink(std::string portName, platform::SerialHandle& handle, SerialTiming timing = {});
    ~SerialLink() override { Close(); }

    std::optional<UploadFailure> Open(const LinkContext& context) override;
    // SendHeaderSerial.
    std::optional<UploadFailure> ExchangeHeader(std::span<const unsigned char> header,
                                                const LinkContext& context) override;
    std::size_t BlockSize() const override { return protocol::kSerialBlockSize; }
    std::optional<UploadFailure> SendBlock(std::span<const unsigned char> block, std::uint32_t number,
                                           const LinkContext& context) override;
    unsigned PauseAfterBlock() const override { return m_timing.pauseAfterBlock; }
    void Close() override;

private:
    // What the port received before is dropped, the header written, the
    // pause, then up to answerAttempts reads for an answer of exactly 32 bytes.
    std::optional<UploadFailure> SendHeaderSerial(std::span<const unsigned char> header, const LinkContext& context);

    std::string m_portName;  // in the system's form (platform/serial/serial.h)
    platform::SerialHandle& m_handle;
    SerialTiming m_timing;
};

}  // namespace pyrrow::upload
