#include "cli/flash/device_uri.h"

#include <algorithm>

#include "console/text.h"

namespace pyrrow::cli {
namespace {

constexpr const char* kForms =
    "use serial:/dev/ttyUSB0, serial:ttyUSB0, serial:COM3, tcp:192.168.1.20, tcp:192.168.1.20:1998, usb, "
    "usb:serial=SN or usb:path=PATH";

// "0127", "034483": such a number might be meant as octal elsewhere, so it
// is refused wherever it stands.
bool LeadingZero(const std::string& text)
{
    return text.size() > 1 && text[0] == '0';
}

// A decimal number of at most max, digits only, without leading zeros.
std::optional<unsigned> ParseNumber(const std::string& text, unsigned max)
{
    if (text.size() > 5 || LeadingZero(text))
        return std::nullopt;
    const auto value = console::WholeTextNumber<unsigned>(text);
    if (!value || *value > max)
        return std::nullopt;
    return value;
}

ParsedDeviceUri Fail(const std::string& text, const std::string& why)
{
    return {std::nullopt, "--device " + text + ": " + why + "; " + kForms};
}

}  // namespace

std::optional<std::uint32_t> ParseIpv4(const std::string& text)
{
    std::uint32_t address = 0;
    std::size_t start = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const std::size_t dot = octet < 3 ? text.find('.', start) : text.size();
        if (dot == std::string::npos)
            return std::nullopt;
        const auto number = ParseNumber(text.substr(start, dot - start), 255);
        if (!number)
            return std::nullopt;
        address = (address << 8) | *number;
        start = dot + 1;
    }
    return address;
}

ParsedDeviceUri ParseDeviceUri(const std::string& text)
{
    DeviceUri uri;
    uri.text = text;
    if (text.starts_with("serial:")) {
        uri.link = DeviceUri::Link::Serial;
        uri.serialPort = text.substr(7);
        if (uri.serialPort.empty())
            return Fail(text, "no port named");
        // A relative path would depend on the folder the tool runs in.
        if (uri.serialPort.front() != '/' && uri.serialPort.find('/') != std::string::npos)
            return Fail(text, "a port is a name (ttyUSB0, COM3) or an absolute path");
        const std::string& name = uri.serialPort;
        if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
            (name[2] == 'M' || name[2] == 'm') && name.find_first_not_of('0', 3) == std::string::npos)
            return Fail(text, "COM port numbers start at 1");
        return {uri, {}};
    }
    if (text.starts_with("tcp:")) {
        uri.link = DeviceUri::Link::Tcp;
        std::string host = text.substr(4);
        if (host.find('[') != std::string::npos || host.find(':') != host.rfind(':'))
            return Fail(text, "IPv6 addresses are not supported: the units speak IPv4 only");
        if (const auto colon = host.find(':'); colon != std::string::npos) {
            if (LeadingZero(host.substr(colon + 1)))
                return Fail(text, "the port must be written without leading zeros");
            const auto port = ParseNumber(host.substr(colon + 1), 65535);
            if (!port || *port == 0)
                return Fail(text, "the port must be a number from 1 to 65535");
            uri.port = static_cast<std::uint16_t>(*port);
            host.resize(colon);
        }
        for (std::size_t start = 0; start <= host.size();) {
            const std::size_t dot = std::min(host.find('.', start), host.size());
            if (LeadingZero(host.substr(start, dot - start)))
                return Fail(text, "the address's numbers must be written without leading zeros");
            start = dot + 1;
        }
        const auto address = ParseIpv4(host);
        if (!address)
            return Fail(text, "the address must be an IPv4 address such as 192.168.1.20");
        if (*address == 0)
            return Fail(text, "0.0.0.0 names no device");
        uri.address = *address;
        return {uri, {}};
    }
    if (text == "usb") {
        uri.link = DeviceUri::Link::Usb;
        return {uri, {}};
    }
    if (text.starts_with("usb:serial=") || text.starts_with("usb:path=")) {
        uri.link = DeviceUri::Link::Usb;
        const bool serial = text.starts_with("usb:serial=");
        uri.usbMatch = serial ? DeviceUri::UsbMatch::SerialNumber : DeviceUri::UsbMatch::Path;
        uri.usbValue = text.substr(serial ? 11 : 9);
        if (uri.usbValue.empty())
            return Fail(text, serial ? "no serial number given" : "no path given");
        return {uri, {}};
    }
    return Fail(text, "not a device");
}

}  // namespace pyrrow::cli
