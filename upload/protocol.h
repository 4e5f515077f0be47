// The numbers of the three upload protocols that both ends of the wire must
// agree on: the program's transports and the device simulator. Only what the
// wire carries lives here; pauses and time-outs belong to each side.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pyrrow::protocol {

// Every link starts with the firmware file's first bytes, its header.
inline constexpr std::size_t kHeaderSize = 32;

// Serial line: raw blocks after the header, 8 data bits, no parity, 1 stop bit.
inline constexpr std::size_t kSerialBlockSize = 256;
inline constexpr unsigned kSerialLineRate = 115200;  // bit/s

// TCP: frames of a little-endian block counter and up to 1024 data bytes,
// each acknowledged by at least 6 bytes.
inline constexpr std::size_t kTcpFrameData = 1024;
inline constexpr std::size_t kTcpCounterBytes = 2;
inline constexpr std::size_t kTcpMinimumAcknowledgement = 6;
// The header answer echoes the header's first bytes and carries a status
// word in bytes 28 (high) and 29 (low) that must be zero.
inline constexpr std::size_t kTcpEchoedBytes = 16;
inline constexpr std::size_t kTcpStatusHigh = 28;
inline constexpr std::size_t kTcpStatusLow = 29;
// The port of a settings file's TCP element that names none.
inline constexpr std::uint16_t kTcpDefaultPort = 1998;

// USB HID: 64-byte reports, no numbered reports (report id 0).
inline constexpr std::size_t kUsbReportSize = 64;
inline constexpr unsigned char kUsbReportId = 0;
inline constexpr std::uint16_t kUsbVendorId = 0x0483;
inline constexpr std::uint16_t kUsbProductId = 0xA151;

}  // namespace pyrrow::protocol
