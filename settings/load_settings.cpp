// Loading the settings: the file beside the executable (its extension
// replaced by ".config"), or the user's own where the program's folder may
// not be written, read into the settings record and the dialog's choices
// (settings/settings_record.h). Loading never changes the document and
// tells the operator nothing; a file that cannot be read is moved aside, so
// that the close does not write over it.
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "app/pyrrow_dlg.h"
#include "platform/files/named_file.h"
#include "platform/utf.h"
#include "settings/settings_document.h"
#include "settings/settings_file.h"

namespace platform = pyrrow::platform;

namespace {

constexpr std::int32_t kPathCharacters = 260;  // room asked for the path: capacity 520
// The settings file's name where the program's own path cannot be had.
constexpr const char16_t* kUsualFileName = u"pyrrow.config";

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
               pyrrow::settings::RegularFileSize(path, &size) && size > 0) {
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

pyrrow::settings::LinkChoices CPyrrowDlg::SettingsChoices() const
{
    pyrrow::settings::LinkChoices choices;
    choices.firmwarePath = m_strFirmwarePath;
    choices.linkKind = m_linkKind;
    if (const char16_t* port = m_comPort.GetString())
        choices.comPort = port;
    choices.ipAddress = m_ipAddress;
    choices.tcpPort = m_tcpPort;
    return choices;
}

int CPyrrowDlg::LoadSettings()
{
    // Each value changes only where the file gives it.
    pyrrow::settings::LinkChoices choices = SettingsChoices();
    const int result = pyrrow::settings::ReadSettings(m_settings, m_settingsRecord, choices);
    m_strFirmwarePath = std::move(choices.firmwarePath);
    m_linkKind = choices.linkKind;
    if (choices.comPort && (m_comPort.GetString() == nullptr || *choices.comPort != m_comPort.GetString()))
        m_comPort.Set(choices.comPort->c_str());
    m_ipAddress = choices.ipAddress;
    m_tcpPort = choices.tcpPort;
    return result;
}
