// The settings file where POSIX systems differ: damaged files moved aside
// (with the file's identity as the system knows it), a file held by another
// program, the per-user file where the program's folder may not be written.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/named_row.h"
#include "support/settings_fixture.h"

namespace {

namespace fs = std::filesystem;
using pyrrow::platform::DialogEvent;
using namespace pyrrow::test;

const fs::path kGolden = fs::path(PYRROW_TEST_DATA) / "settings";

// The defaults a damaged file gives way to, as the window shows them.
void ExpectDefaults(const CPyrrowDlg& dlg)
{
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 1);
    EXPECT_EQ(dlg.m_linkKind, LINK_SERIAL);
    EXPECT_EQ(dlg.m_ipAddress, 0xC0A8DEDEu);
    EXPECT_EQ(dlg.m_strFirmwarePath, u"");
}

// A settings file that holds pc 7, a firmware path and the TCP link.
const std::u16string kGood = u"<DriverSetting><Address pc='7'/><File path='/srv/a.fw'/><Communication type='TCP'>"
                             u"<TCP ip='10.0.0.9' port='502'/></Communication></DriverSetting>";

// A file as the system knows it, links followed: the same file, not
// written since, keeps all of these.
struct Identity {
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const fs::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return {st.st_ino, st.st_size, st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
}

struct DamagedCase {
    const char* name;
    std::function<void(const fs::path& dir)> setup;  // puts pyrrow.config and what lies beside it
    const char* movedTo;                             // its name afterwards; null: it stays
    std::string why;                                 // how the settings line begins after the path
};

using pyrrow::test::PrintTo;

class DamagedFile : public Settings, public testing::WithParamInterface<DamagedCase> {};

// A settings file that is there but cannot be used is moved aside before
// anything is written, and the run goes on with the defaults; where it
// cannot be moved, the close writes nothing over it.
TEST_P(DamagedFile, IsMovedAsideAndNeverWrittenOver)
{
    const DamagedCase& c = GetParam();
    c.setup(dir.path());
    const Identity original = IdentityOf(File());
    const bool wasLink = fs::is_symlink(File());
    testing::internal::CaptureStderr();
    Init({u"COM1"});
    const std::string told = testing::internal::GetCapturedStderr();
    ExpectDefaults(dlg);
    const std::string line = "settings: " + File().string() + " " + c.why;
    EXPECT_NE(told.find(line), std::string::npos) << told;
    Close();
    if (c.movedTo == nullptr) {
        EXPECT_NE(told.find("stays as it is; the defaults are used and no settings are saved in this run"),
                  std::string::npos);
        EXPECT_EQ(IdentityOf(File()), original);
        return;
    }
    const fs::path aside = dir.path() / c.movedTo;
    EXPECT_NE(told.find("; moved aside to " + aside.string() + ", the defaults are used\n"), std::string::npos) << told;
    EXPECT_EQ(fs::is_symlink(aside), wasLink);
    EXPECT_EQ(IdentityOf(aside), original);
    EXPECT_FALSE(fs::is_symlink(File()));
    EXPECT_EQ(Written(), ReadBytes(kGolden / "first_close_serial.config"));
}

void Put(const fs::path& dir, const std::string& bytes)
{
    WriteBytes(dir / "pyrrow.config", bytes);
}

// The same text in the big-endian order of UTF-16.
std::string Utf16BeBytes(const std::u16string& text)
{
    std::string bytes = Utf16LeBytes(text);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

const std::string kParseFailure = "does not parse at ";
const std::string kEightBit = "does not parse at byte 0: it looks like UTF-8";

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    testing::Values(
        DamagedCase{"UnquotedValue",
                    [](const fs::path& d) {
                        Put(d, Utf16LeBytes(u"\uFEFF<DriverSetting><Address pc='7'/><File path='/srv/a.fw'/>"
                                            u"<Communication type=TCP/></DriverSetting>"));
                    },
                    "pyrrow.config.damaged", kParseFailure},
        DamagedCase{"Utf8", [](const fs::path& d) { Put(d, "\xEF\xBB\xBF<DriverSetting><Address pc=\"7\"/></DriverSetting>"); },
                    "pyrrow.config.damaged", kEightBit},
        DamagedCase{"Utf16BigEndian", [](const fs::path& d) { Put(d, Utf16BeBytes(u"\uFEFF" + kGood)); },
                    "pyrrow.config.damaged", kParseFailure},
        DamagedCase{"NulCutsTheDocument",
                    [](const fs::path& d) {
                        Put(d, Utf16LeBytes(u"\uFEFF<DriverSetting><Address pc='7'/>") + std::string(2, '\0') +
                                   Utf16LeBytes(u"<File path='/srv/a.fw'/></DriverSetting>"));
                    },
                    "pyrrow.config.damaged", kParseFailure},
        DamagedCase{"TooLargeToLoad",
                    [](const fs::path& d) {
                        std::ofstream(d / "pyrrow.config") << "x";
                        fs::resize_file(d / "pyrrow.config", std::uintmax_t{5} << 30);  // sparse: no disk used
                    },
                    "pyrrow.config.damaged", "cannot be loaded (5368709120 bytes)"},
        DamagedCase{"NumberedWhenTheNameIsTaken",
                    [](const fs::path& d) {
                        Put(d, "garbage");
                        WriteBytes(d / "pyrrow.config.damaged", "first");
                        WriteBytes(d / "pyrrow.config.damaged.1", "second");
                    },
                    "pyrrow.config.damaged.2", kEightBit},
        // Each save would write one tab per level on each line: 82 KB of
        // nesting would grow to 72 MB.
        DamagedCase{"NestedFarDeeperThanSettingsEverAre",
                    [](const fs::path& d) {
                        std::u16string nested;
                        for (int i = 0; i < 5000; ++i)
                            nested += u"<a>";
                        for (int i = 0; i < 5000; ++i)
                            nested += u"</a>";
                        Put(d, Utf16LeBytes(u"\uFEFF<DriverSetting><Address pc='7'/>" + nested + u"</DriverSetting>"));
                    },
                    "pyrrow.config.damaged", "holds elements nested more than 100 levels deep"},
        // The link is moved, not what it leads to: the notes stay as they are.
        DamagedCase{"LinkToANonXmlFile",
                    [](const fs::path& d) {
                        WriteBytes(d / "notes.txt", "COM3 at 9600 baud\n");
                        fs::create_symlink(d / "notes.txt", d / "pyrrow.config");
                    },
                    "pyrrow.config.damaged", kEightBit}),
    [](const testing::TestParamInfo<DamagedCase>& p) { return p.param.name; });

TEST_F(Settings, FileHeldByAnotherProgramIsNeitherMovedNorWrittenOver)
{
    WriteSettings(kGood);
    const std::string original = Written();
    const int holder = ::open(File().c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    testing::internal::CaptureStderr();
    Init({u"COM1"});
    const std::string told = testing::internal::GetCapturedStderr();
    ::close(holder);
    ExpectDefaults(dlg);
    EXPECT_NE(told.find("settings: " + File().string() + " cannot be loaded (" + std::to_string(original.size()) +
                        " bytes) and stays as it is"),
              std::string::npos)
        << told;
    Close();
    EXPECT_EQ(Written(), original);
    EXPECT_FALSE(fs::exists(dir.path() / "pyrrow.config.damaged"));
}

TEST_F(Settings, ProgramFolderThatMayNotBeWrittenGivesTheUsersOwnFileStartedFromTheOneBesideIt)
{
    WriteSettings(kGood);
    const std::string beside = Written();
    const fs::path own = dir.path() / "home" / ".config" / "pyrrow";
    const fs::path ownFile = own / "pyrrow.config";
    dlg.m_canWrite = [](const std::u16string&) { return false; };  // neither the folder nor the file
    dlg.m_userConfigFolder = [&] { return own.u16string(); };
    testing::internal::CaptureStderr();
    Init({u"COM1"});
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(told, "settings: using " + ownFile.string() + " (this user's own file: the program's folder " +
                        dir.path().string() + " may not be written)\n" + "settings: " + ownFile.string() +
                        " starts as a copy of " + File().string() + "\n");
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), ownFile.u16string());
    EXPECT_EQ(fs::status(own).permissions(), fs::perms::owner_all);
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 7);
    EXPECT_EQ(dlg.m_ipAddress, 0x0A000009u);

    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_USB);
    Close();
    EXPECT_EQ(ReadBytes(File()), beside);
    EXPECT_NE(ReadBytes(ownFile).find(Utf16LeBytes(u"type=\"USB\"")), std::string::npos);

    // Only once: later starts keep the user's file.
    const std::string saved = ReadBytes(ownFile);
    dlg.OpenSettingsFile();
    EXPECT_EQ(ReadBytes(ownFile), saved);
}

TEST_F(Settings, FileThatMayBeWrittenInAFolderThatMayNotStaysBesideTheProgram)
{
    WriteSettings(kGood);
    dlg.m_canWrite = [this](const std::u16string& path) { return path == File().u16string(); };
    dlg.m_userConfigFolder = [] { return std::u16string(u"/nonexistent/never-used"); };
    Init({u"COM1"});
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), File().u16string());
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 7);
}

// Sets an environment variable (null: unsets it) while it lives.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        m_had = std::getenv(name) != nullptr;
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedVariable() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(UserConfigFolder, FollowsTheXdgRule)
{
    struct Case {
        const char* config;
        const char* home;
        std::u16string folder;  // empty: any absolute folder ending in /.config/pyrrow
    };
    for (const Case& c : {Case{"/etc/xdg-jana", "/home/jana", u"/etc/xdg-jana/pyrrow"},
                          Case{"relative/config", "/home/jana", u"/home/jana/.config/pyrrow"},
                          Case{"", "/home/jana", u"/home/jana/.config/pyrrow"},
                          Case{nullptr, "/home/jana", u"/home/jana/.config/pyrrow"},
                          Case{nullptr, nullptr, u""}}) {
        ScopedVariable config("XDG_CONFIG_HOME", c.config);
        ScopedVariable home("HOME", c.home);
        const std::u16string folder = pyrrow::platform::UserConfigFolder();
        if (!c.folder.empty()) {
            EXPECT_EQ(folder, c.folder) << (c.config ? c.config : "(unset)");
        } else {  // the home folder of the user's account
            EXPECT_TRUE(folder.starts_with(u"/") && folder.ends_with(u"/.config/pyrrow"));
        }
    }
}

}  // namespace

// A file with no element in it (Parse finds none) is as empty as a new one:
// it is used, not moved aside, and the close writes the settings into it.
class FileWithoutElements : public Settings, public testing::WithParamInterface<std::u16string> {};

TEST_P(FileWithoutElements, IsUsedAsAnEmptyFile)
{
    Put(dir.path(), Utf16LeBytes(GetParam()));
    testing::internal::CaptureStderr();
    Init({u"COM1"});
    const std::string told = testing::internal::GetCapturedStderr();
    ExpectDefaults(dlg);
    EXPECT_EQ(told.find("moved aside"), std::string::npos) << told;
    Close();
    EXPECT_FALSE(fs::exists(dir.path() / "pyrrow.config.damaged"));
    EXPECT_EQ(Written(), ReadBytes(kGolden / "first_close_serial.config"));
}

INSTANTIATE_TEST_SUITE_P(Cases, FileWithoutElements,
                         testing::Values(u"\uFEFF", u"\uFEFF \r\n\t\r\n", u"\uFEFF<?xml version=\"1.0\"?>\r\n",
                                         u"<!-- nothing yet -->", u"\uFEFF<?xml version=\"1.0\"?><!-- a -->\r\n<!---->"));
