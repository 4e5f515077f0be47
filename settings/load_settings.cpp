// Loading the settings: the file beside the executable (its extension
// replaced by ".config"), or the user's own where the program's folder may
// not be written, read into the dialog's settings members. Loading never
// changes the document and tells the operator nothing; a file that cannot
// be read is moved aside, so that the close does not write over it.
#include <cstdio>
#include <string>
#include <string_view>

#include "app/pyrrow_dlg.h"
#include "app/wide_numbers.h"
#include "platform/file.h"
#include "platform/utf.h"
#include "settings/settings_document.h"
#include "settings/settings_file.h"

namespace platform = pyrrow::platform;

namespace {

constexpr std::int32_t kPathCharacters = 260;  // room asked for the path: capacity 520
constexpr std::uint32_t kDefaultTcpAddress = 0xC0A8DE21;  // 192.168.222.33
constexpr std::uint32_t kDefaultTcpPort = 1998;
// The settings file's name where the program's own path cannot be had.
constexpr const char16_t* kUsualFileName = u"pyrrow.config";

// Four numbers with one separator character between them, as "%u.%u.%u.%u"
// writes them. Bits of a number above 255 overlap the octet to its left. A
// text with fewer numbers is never read past its end: the missing numbers
// count as 0.
std::uint32_t ParseIp(const char16_t* text)
{
    const char16_t* end = text;
    std::uint32_t address = ReadUnsignedLong(text, &end);
    for (int i = 0; i < 3; ++i) {
        std::uint32_t number = 0;
        if (*end != 0)
            number = ReadUnsignedLong(end + 1, &end);
        address = (address << 8) | number;
    }
    return address;
}

// True when the text holds no markup but a byte order mark, white space,
// declarations (<?...?>) and comments: a file as empty as a new one.
bool HoldsNoElement(const char16_t* text)
{
    std::u16string_view rest = text != nullptr ? text : u"";
    if (rest.starts_with(u'\uFEFF'))
        rest.remove_prefix(1);
    for (;;) {
        const std::size_t start = rest.find_first_not_of(u" \t\r\n");
        if (start == std::u16string_view::npos)
            return true;
        rest.remove_prefix(start);
        std::u16string_view close;
        if (rest.starts_with(u"<?"))
            close = u"?>";
        else if (rest.starts_with(u"<!--"))
            close = u"-->";
        else
            return false;
        const std::size_t end = rest.find(close, 2);
        if (end == std::u16string_view::npos)
            return false;
        rest.remove_prefix(end + close.size());
    }
}

bool Equals(const char16_t* a, const char16_t* b)
{
    return std::u16string_view(a) == std::u16string_view(b);
}

}  // namespace

int CPyrrowDlg::OpenSettingsFile()
{
    // The executable's path with ".config" for its extension. A path that
    // does not fit the room kept for it, that the file functions cannot
    // take, or that cannot be had at all gives the user's own file.
    m_configPath.Alloc(kPathCharacters);
    if (m_configPath.GetString() == nullptr || m_configPath.GetCapacity() == 0)
        return 0;
    const std::u16string executable = m_moduleFileName(m_hModule);
    std::u16string beside = executable;
    platform::RemovePathExtension(beside.data());
    beside.resize(std::char_traits<char16_t>::length(beside.c_str()));
    std::u16string chosen;
    if (beside.empty()) {
        // (On Linux a path longer than the system's limit, which the
        // system does not tell.) Named as the file of an ordinary install.
        chosen = pyrrow::settings::UserSettingsFile(kUsualFileName, "the program's own path cannot be had",
                                                    m_userConfigFolder);
    } else {
        beside += u".config";
        const auto room = static_cast<std::size_t>(m_configPath.GetCapacity());
        const std::string unfit = executable.size() >= room
                                      ? "comes from a program path of " + std::to_string(executable.size()) +
                                            " characters, more than the " + std::to_string(room - 1) +
                                            " kept for it"
                                      : platform::PathUnfitForFiles(beside);
        const std::size_t slash = platform::LastPathSeparator(beside);
        chosen = unfit.empty() ? pyrrow::settings::ChooseSettingsFile(beside, m_canWrite, m_userConfigFolder)
                               : pyrrow::settings::UserSettingsFile(
                                     beside.substr(slash == std::u16string::npos ? 0 : slash + 1),
                                     "the path beside the program, " + platform::Utf16ToUtf8Lossy(beside) + ", " +
                                         unfit,
                                     m_userConfigFolder);
    }
    if (chosen.empty() || !m_configPath.Set(chosen.c_str())) {
        m_configPath.Empty();
        return 0;
    }

    const int loaded = m_settings.Load(m_configPath.GetString());
    const int parsed = m_settings.Parse();
    // A file that is there but cannot be used is kept from the close, which
    // would write the defaults over it: it is moved aside, or, where it
    // cannot be, nothing is saved. Either way the defaults are used, not
    // what part of the file could be read.
    const std::u16string path = m_configPath.GetString();
    std::uint64_t size = 0;
    if (parsed == CMyXMLFile::kParseOutOfMemory) {
        // Nothing is wrong with the file: it stays, and this run saves nothing.
        std::fprintf(stderr, "settings: %s could not be read for lack of memory; no settings are saved in this run\n",
                     platform::Utf16ToUtf8Lossy(path).c_str());
        m_configPath.Empty();
        return 1;
    }
    std::string why;
    if (parsed == 1) {
        why = pyrrow::settings::NestingProblem(m_settings.m_root);
    } else if (!(parsed == 0 && loaded != 0 && HoldsNoElement(m_settings.m_strContent.GetString())) &&
               platform::GetRegularFileSize(path.c_str(), &size) && size > 0) {
        // (A file with nothing in it but a declaration or comments is used
        // as an empty one is.)
        why = loaded != 0 ? pyrrow::settings::ParseProblem(m_settings, parsed, size)
                          : "cannot be loaded (" + std::to_string(size) + " bytes)";
    }
    if (!why.empty()) {
        if (!pyrrow::settings::SetAside(path, why))
            m_configPath.Empty();
        // Loading again empties the tree that part of the file gave (a
        // failed load has emptied it already); in place of a file moved
        // aside an empty one appears, as at a first start.
        if (loaded != 0)
            m_settings.Load(path.c_str());
    }
    return 1;
}

bool CPyrrowDlg::FindElement(std::uint32_t direction, const char16_t* name)
{
    bool descended = false;
    for (;;) {
        if (!m_settings.Navigate(direction)) {
            // Back to where a walk over the children began.
            if (descended)
                m_settings.Navigate(XN_PARENT);
            return false;
        }
        descended = descended || direction == XN_CHILD;
        const char16_t* found = m_settings.m_pCurrent->GetName();
        if (found == nullptr)
            return false;
        if (Equals(found, name))
            return true;
        if (direction == XN_ROOT || direction == XN_PARENT)
            return false;
        direction = XN_NEXT;
    }
}

int CPyrrowDlg::LoadSettings()
{
    if (!FindElement(XN_ROOT, u"DriverSetting") || !FindElement(XN_CHILD, u"Address"))
        return 1;
    if (const char16_t* pc = m_settings.m_pCurrent->GetAttribute(u"pc"))
        m_pcAddress = static_cast<std::uint8_t>(ReadUnsignedLong(pc) & 0xFF);

    if (FindElement(XN_NEXT, u"File")) {
        const char16_t* path = m_settings.m_pCurrent->GetAttribute(u"path");
        m_strFirmwarePath = path != nullptr ? path : u"";
    }
    if (!FindElement(XN_NEXT, u"Communication"))
        return 1;

    const char16_t* type = m_settings.m_pCurrent->GetAttribute(u"type");
    if (type == nullptr || Equals(type, u"serialPort"))
        m_linkKind = LINK_SERIAL;
    else if (Equals(type, u"TCP"))
        m_linkKind = LINK_TCP;
    else if (Equals(type, u"USB"))
        m_linkKind = LINK_USB;
    else
        m_linkKind = LINK_UNKNOWN;

    CMyTag* link = nullptr;
    switch (m_linkKind) {
    case LINK_SERIAL:
        if (!FindElement(XN_CHILD, u"SerialPort"))
            return 1;
        link = m_settings.m_pCurrent;
        if (const char16_t* port = link->GetAttribute(u"port"))
            m_comPort.Set(port);
        if (const char16_t* speed = link->GetAttribute(u"speed"))
            m_baudRate = static_cast<std::int32_t>(ReadUnsignedLong(speed));
        if (const char16_t* parity = link->GetAttribute(u"parity"))
            m_parity = Equals(parity, u"none") ? 0 : Equals(parity, u"odd") ? 1 : 2;
        break;
    case LINK_TCP: {
        if (!FindElement(XN_CHILD, u"TCP"))
            return 1;
        link = m_settings.m_pCurrent;
        const char16_t* ip = link->GetAttribute(u"ip");
        const std::uint32_t address = ip != nullptr ? ParseIp(ip) : 0;
        m_ipAddress = address != 0 ? address : kDefaultTcpAddress;
        m_tcpPort = kDefaultTcpPort;
        if (const char16_t* port = link->GetAttribute(u"port"))
            m_tcpPort = ReadUnsignedLong(port);
        break;
    }
    case LINK_USB:
        if (!FindElement(XN_CHILD, u"USB"))
            return 1;
        link = m_settings.m_pCurrent;
        break;
    default:
        return 1;
    }

    if (const char16_t* timeout = link->GetAttribute(u"timeout"))
        m_timeout = static_cast<std::int32_t>(ReadUnsignedLong(timeout));
    if (const char16_t* readDelay = link->GetAttribute(u"readDelay"))
        m_readDelay = static_cast<std::int32_t>(ReadUnsignedLong(readDelay));
    return 1;
}
