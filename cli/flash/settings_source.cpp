#include "cli/flash/settings_source.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/flash/input_file.h"
#include "platform/net/ipv4_text.h"
#include "platform/utf.h"
#include "settings/settings_document.h"
#include "settings/settings_record.h"

namespace pyrrow::cli {
namespace {

// The most a settings file of the window holds by far: a few hundred bytes.
constexpr std::uint64_t kMaxSettingsBytes = 1024 * 1024;

// The file's bytes as the document's text, as loading a document frames
// them: UTF-16LE code units, an odd last byte dropped. Reading here instead
// of through the document's own loading keeps a missing file from being
// created.
ReadStatus ReadContent(const std::string& path, std::stop_token stop, CMyXMLFile& document,
                       SettingsChoice* choice, std::uint64_t* size)
{
    InputFile file = ReadInputFile("the settings file", path, kMaxSettingsBytes, stop);
    choice->problem = std::move(file.problem);
    if (file.status != ReadStatus::Read)
        return file.status;
    choice->identity = file.identity;
    const std::vector<unsigned char>& bytes = file.bytes;
    *size = bytes.size();
    if (bytes.empty()) {
        choice->problem = path + " is empty";
        return ReadStatus::Failed;
    }
    if (!document.m_strContent.Alloc(static_cast<std::int32_t>(bytes.size()))) {
        choice->problem = path + " is too large";
        return ReadStatus::Failed;
    }
    char16_t* text = document.m_strContent.GetBuffer();
    std::memcpy(text, bytes.data(), bytes.size());
    text[bytes.size() / 2] = 0;
    document.m_strContent.ReleaseBuffer();
    return ReadStatus::Read;
}

// Whether the TCP element under the cursor names the address the window
// would dial (address, as read), rather than leaving the window to fall
// back on its default.
std::optional<std::string> AddressNotGiven(const CMyXMLFile& document, std::uint32_t address)
{
    const CMyTag* element = document.m_pCurrent;
    const char16_t* name = element != nullptr ? element->GetName() : nullptr;
    if (name == nullptr || std::u16string_view(name) != u"TCP")
        return std::nullopt;
    const char16_t* ip = element->GetAttribute(u"ip");
    if (ip == nullptr)
        return "the TCP element names no address (no ip attribute)";
    const std::string text = platform::Utf16ToUtf8Lossy(ip);
    // The window takes 0.0.0.0 (a blank field) for its default; only an
    // address written out counts as given.
    if (address == settings::kDefaultTcpAddress && ParseIpv4(text) != settings::kDefaultTcpAddress)
        return "the TCP element's ip \"" + text + "\" reads as 0.0.0.0, which names no device";
    return std::nullopt;
}

}  // namespace

SettingsChoice ReadSettingsFile(const std::string& path, std::stop_token stop)
{
    SettingsChoice choice;
    CMyXMLFile document;
    std::uint64_t size = 0;
    const ReadStatus status = ReadContent(path, stop, document, &choice, &size);
    choice.stopped = status == ReadStatus::Stopped;
    if (status != ReadStatus::Read)
        return choice;
    // A damaged file must not flash a unit with what part of it could be read.
    if (const int parsed = document.Parse(); parsed != 1) {
        choice.problem = path + " " + settings::ParseProblem(document, parsed, size);
        return choice;
    }
    // Sentinels that tell a value the file gave from the window's defaults.
    settings::SettingsRecord record;
    settings::LinkChoices given;
    given.linkKind = LINK_NONE;
    given.ipAddress = 0;
    settings::ReadSettings(document, record, given);
    choice.readable = true;
    choice.firmware = platform::Utf16ToUtf8(given.firmwarePath).value_or("");

    DeviceUri device;
    switch (given.linkKind) {
    case LINK_SERIAL: {
        const auto name = given.comPort ? platform::Utf16ToUtf8(*given.comPort) : std::nullopt;
        if (!name || name->empty()) {
            choice.deviceProblem = "the SerialPort element names no port";
            return choice;
        }
        device.link = DeviceUri::Link::Serial;
        device.serialPort = *name;
        device.text = "serial:" + *name;
        break;
    }
    case LINK_TCP:
        if (given.ipAddress == 0) {
            choice.deviceProblem = "the Communication element has no TCP element";
            return choice;
        }
        if (auto problem = AddressNotGiven(document, given.ipAddress)) {
            choice.deviceProblem = *problem;
            return choice;
        }
        if ((given.tcpPort & 0xFFFF) == 0) {
            choice.deviceProblem = "the TCP element's port is 0";
            return choice;
        }
        device.link = DeviceUri::Link::Tcp;
        device.address = given.ipAddress;
        // The window uses the low 16 bits.
        device.port = static_cast<std::uint16_t>(given.tcpPort & 0xFFFF);
        device.text = "tcp:" + platform::Ipv4Text(device.address, device.port);
        break;
    case LINK_USB:
        device.link = DeviceUri::Link::Usb;
        device.text = "usb";
        break;
    case LINK_UNKNOWN:
        choice.deviceProblem = "the Communication element's type is none of serialPort, TCP and USB";
        return choice;
    default:
        choice.deviceProblem = "no DriverSetting/Address/File/Communication elements in that order";
        return choice;
    }
    choice.device = device;
    return choice;
}

}  // namespace pyrrow::cli
