#include "cli/settings_source.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/pyrrow_dlg.h"
#include "platform/utf.h"

namespace pyrrow::cli {
namespace {

// The file's bytes as the document's text, as loading a document frames
// them: UTF-16LE code units, an odd last byte dropped. Reading here instead
// of through the document's own loading keeps a missing file from being
// created.
bool ReadContent(const std::string& path, CMyXMLFile& document, std::string* problem)
{
    errno = 0;
    // The path is UTF-8: Windows must not take it in its ANSI code page.
    std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    if (!in) {
        *problem = "cannot open " + path + ": " + std::strerror(errno != 0 ? errno : ENOENT);
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *problem = "cannot read " + path;
        return false;
    }
    if (bytes.empty()) {
        *problem = path + " is empty";
        return false;
    }
    if (bytes.size() > INT32_MAX || !document.m_strContent.Alloc(static_cast<std::int32_t>(bytes.size()))) {
        *problem = path + " is too large";
        return false;
    }
    char16_t* text = document.m_strContent.GetBuffer();
    std::memcpy(text, bytes.data(), bytes.size());
    text[bytes.size() / 2] = 0;
    document.m_strContent.ReleaseBuffer();
    return true;
}

}  // namespace

SettingsChoice ReadSettingsFile(const std::string& path)
{
    SettingsChoice choice;
    // Only the dialog's settings record is used: no window is ever made.
    CPyrrowDlg dialog;
    if (!ReadContent(path, dialog.m_settings, &choice.problem))
        return choice;
    // A damaged file must not flash a unit with what part of it could be read.
    if (const int parsed = dialog.m_settings.Parse(); parsed != 1) {
        choice.problem = "does not parse (code " + std::to_string(parsed) + ")";
        return choice;
    }
    // Sentinels that tell a value the file gave from the record's defaults.
    dialog.m_linkKind = LINK_NONE;
    dialog.m_comPort.Free();
    dialog.m_ipAddress = 0;
    dialog.m_strFirmwarePath.clear();
    dialog.LoadSettings();
    choice.readable = true;
    choice.firmware = platform::Utf16ToUtf8(dialog.m_strFirmwarePath).value_or("");

    DeviceUri device;
    switch (dialog.m_linkKind) {
    case LINK_SERIAL: {
        const char16_t* port = dialog.m_comPort.GetString();
        const auto name = port != nullptr ? platform::Utf16ToUtf8(port) : std::nullopt;
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
        if (dialog.m_ipAddress == 0) {
            choice.deviceProblem = "the Communication element has no TCP element";
            return choice;
        }
        if ((dialog.m_tcpPort & 0xFFFF) == 0) {
            choice.deviceProblem = "the TCP element's port is 0";
            return choice;
        }
        device.link = DeviceUri::Link::Tcp;
        device.address = dialog.m_ipAddress;
        // The window uses the low 16 bits.
        device.port = static_cast<std::uint16_t>(dialog.m_tcpPort & 0xFFFF);
        device.text = "tcp:" + FormatIpv4(device.address) + ":" + std::to_string(device.port);
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
