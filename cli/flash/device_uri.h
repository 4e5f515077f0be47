// The --device texts of pyrrow-cli: which link, and which port, address or
// unit on it. Parsing is pure, so the accepted forms are tested as a table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "upload/protocol.h"

namespace pyrrow::cli {

struct DeviceUri {
    enum class Link { Serial, Tcp, Usb };
    enum class UsbMatch { Any, SerialNumber, Path };

    Link link = Link::Serial;
    std::string text;        // as given; names the unit in every report
    std::string serialPort;  // as the window names ports: ttyUSB0, /dev/ttyUSB0, COM3
    std::uint32_t address = 0;  // IPv4, first octet in the most significant byte
    std::uint16_t port = protocol::kTcpDefaultPort;
    UsbMatch usbMatch = UsbMatch::Any;
    std::string usbValue;  // the serial number or the path
};

// A --device text read: the URI, or nothing with the problem, which says
// what is wrong and which forms are accepted.
struct ParsedDeviceUri {
    std::optional<DeviceUri> uri;
    std::string problem;
};
ParsedDeviceUri ParseDeviceUri(const std::string& text);

// "a.b.c.d": four decimal numbers of 0 to 255 without leading zeros.
// Nothing for any other text.
std::optional<std::uint32_t> ParseIpv4(const std::string& text);

}  // namespace pyrrow::cli
