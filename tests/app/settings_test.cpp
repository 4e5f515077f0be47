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

#include "app/prikazovy_radek.h"
#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/notice_capture.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pyrrow::platform::DialogEvent;
using pyrrow::test::ReadBytes;
using pyrrow::test::Utf16LeBytes;
using pyrrow::test::WriteBytes;

const fs::path kGolden = fs::path(PYRROW_TEST_DATA) / "settings";

// A dialog whose program lies in a folder of the test's own, so that its
// settings file is <folder>/pyrrow.config.
class Settings : public pyrrow::test::DialogTest {
protected:
    Settings()
    {
        dlg.m_moduleFileName = [this](pyrrow::platform::ModuleHandle) { return dir.File("pyrrow"); };
    }

    fs::path File() const { return dir.path() / "pyrrow.config"; }
    void WriteSettings(const std::u16string& text) { pyrrow::test::WriteBytes(File(), Utf16LeBytes(u"\uFEFF" + text)); }
    std::string Written() const { return ReadBytes(File()); }

    // The close command followed by the window's destruction, as a real close does.
    void Close()
    {
        dlg.OnEvent(DialogEvent::Close, 0);
        dlg.OnEvent(DialogEvent::Destroy, 0);
    }

    pyrrow::test::TempDir dir;
    pyrrow::test::NoticeCapture quiet;
};

TEST_F(Settings, FirstStartCreatesAnEmptyFileAndKeepsTheConstructionValues)
{
    Init({});
    EXPECT_TRUE(fs::exists(File()));
    EXPECT_EQ(fs::file_size(File()), 0u);
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.config"));
    EXPECT_EQ(dlg.m_linkKind, LINK_SERIAL);
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"COM1");
    EXPECT_EQ(dlg.m_baudRate, 38400);
    EXPECT_EQ(dlg.m_parity, 2);
    EXPECT_EQ(dlg.m_timeout, 5000);
    EXPECT_EQ(dlg.m_readDelay, 300);
    EXPECT_EQ(dlg.m_ipAddress, 0xC0A8DEDEu);
    EXPECT_EQ(dlg.m_tcpPort, 1234u);
    EXPECT_EQ(dlg.m_pcAddress, 1);
    EXPECT_EQ(dlg.m_strFirmwarePath, u"");
}

struct FirstClose {
    int radio;
    const char* golden;
};

class FirstCloseWithLink : public Settings, public testing::WithParamInterface<FirstClose> {};

TEST_P(FirstCloseWithLink, WritesTheWholeDocument)
{
    Init({});
    if (GetParam().radio != IDC_RADIO_SERIAL) {
        dlg.CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, GetParam().radio);
        dlg.OnEvent(DialogEvent::Command, GetParam().radio);
    }
    dlg.OnEvent(DialogEvent::Close, 0);
    const std::string once = Written();
    EXPECT_EQ(once, ReadBytes(kGolden / GetParam().golden));
    dlg.OnEvent(DialogEvent::Destroy, 0);  // the second save of a close
    EXPECT_EQ(Written(), once);
    EXPECT_EQ(host.EndedWith(), IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(Links, FirstCloseWithLink,
                         testing::Values(FirstClose{IDC_RADIO_SERIAL, "first_close_serial.config"},
                                         FirstClose{IDC_RADIO_TCP, "first_close_tcp.config"},
                                         FirstClose{IDC_RADIO_USB, "first_close_usb.config"}),
                         [](const testing::TestParamInfo<FirstClose>& p) {
                             return std::string(p.param.golden).substr(12, 3);
                         });

struct Loaded {
    std::uint8_t link = LINK_SERIAL;
    int radio = IDC_RADIO_SERIAL;
    std::u16string port = u"COM1";
    std::int32_t baud = 38400;
    std::int32_t parity = 2;
    std::int32_t timeout = 5000;
    std::uint32_t ip = 0xC0A8DEDE;
    std::uint32_t tcpPort = 1234;
    std::uint8_t pc = 1;
    std::u16string path = u"";
};

struct LoadCase {
    const char* name;
    std::u16string file;
    Loaded expected;
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name;
}

class LoadTable : public Settings, public testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTable, ReadsWhatTheFileHolds)
{
    WriteSettings(GetParam().file);
    Init({u"COM1", u"COM3", u"ttyUSB0"});
    const Loaded& e = GetParam().expected;
    EXPECT_EQ(dlg.m_linkKind, e.link);
    EXPECT_TRUE(host.IsButtonChecked(e.radio));
    if (e.link != LINK_SERIAL) {  // the serial button takes the list's entry
        EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), e.port);
    }
    EXPECT_EQ(dlg.m_baudRate, e.baud);
    EXPECT_EQ(dlg.m_parity, e.parity);
    EXPECT_EQ(dlg.m_timeout, e.timeout);
    EXPECT_EQ(dlg.m_ipAddress, e.ip);
    EXPECT_EQ(dlg.m_tcpPort, e.tcpPort);
    EXPECT_EQ(dlg.m_pcAddress, e.pc);
    EXPECT_EQ(dlg.m_strFirmwarePath, e.path);
    EXPECT_EQ(host.Text(IDC_FILE_PATH), e.path);
}

const std::u16string kHead = u"<DriverSetting><Address pc='7'/><File path='/srv/a.fw'/>";

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadTable,
    testing::Values(
        LoadCase{"RootOnly", u"<DriverSetting/>", {}},
        LoadCase{"OtherRoot", u"<Settings><Address pc='7'/></Settings>", {}},
        LoadCase{"SerialRead",
                 kHead + u"<Communication type='serialPort'><SerialPort port='COM3' speed='9600' parity='odd' "
                         u"timeout='1' readDelay='2'/></Communication></DriverSetting>",
                 {.link = LINK_SERIAL, .port = u"COM3", .baud = 9600, .parity = 1, .timeout = 1, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"TypeMissingMeansSerial",
                 kHead + u"<Communication><SerialPort port='COM3' speed='19200'/></Communication></DriverSetting>",
                 {.port = u"COM3", .baud = 19200, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"ElementNameAsTypeIsUnknownAndShownAsUsb",
                 kHead + u"<Communication type='SerialPort'><SerialPort speed='9600'/></Communication></DriverSetting>",
                 {.link = LINK_USB, .radio = IDC_RADIO_USB, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"TcpWithoutAttributes", kHead + u"<Communication type='TCP'><TCP/></Communication></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .ip = 0xC0A8DE21, .tcpPort = 1998, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"TcpAddressBitsOverlap",
                 kHead + u"<Communication type='TCP'><TCP ip='10.1.2.300' port='502'/></Communication></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .ip = 0x0A01032C, .tcpPort = 502, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"TcpZeroAddress",
                 kHead + u"<Communication type='TCP'><TCP ip='0.0.0.0'/></Communication></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .ip = 0xC0A8DE21, .tcpPort = 1998, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"TcpShortAddressStopsAtTheEnd",
                 kHead + u"<Communication type='TCP'><TCP ip='10.1'/></Communication></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .ip = 0x0A010000, .tcpPort = 1998, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"ParityKeepsCase",
                 kHead + u"<Communication><SerialPort parity='NONE'/></Communication></DriverSetting>",
                 {.parity = 2, .pc = 7, .path = u"/srv/a.fw"}},
        LoadCase{"PcKeepsItsLowEightBits", u"<DriverSetting><Address pc='300'/></DriverSetting>", {.pc = 44}},
        LoadCase{"FileWithoutPathEmptiesIt",
                 u"<DriverSetting><Address/><File/><Communication type='TCP'><TCP port='7'/></Communication></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .ip = 0xC0A8DE21, .tcpPort = 7}},
        LoadCase{"FileBeforeAddressIsNotRead",
                 u"<DriverSetting><File path='/x.fw'/><Address pc='9'/><Communication type='TCP'><TCP/></Communication>"
                 u"</DriverSetting>",
                 {.pc = 9}},
        LoadCase{"OnlyTheChosenLinksValues",
                 kHead + u"<Communication type='USB'><SerialPort timeout='1'/><USB timeout='2' readDelay='3'/>"
                         u"</Communication></DriverSetting>",
                 {.link = LINK_USB, .radio = IDC_RADIO_USB, .timeout = 2, .pc = 7, .path = u"/srv/a.fw"}}),
    [](const testing::TestParamInfo<LoadCase>& p) { return p.param.name; });

TEST_F(Settings, SavingKeepsWhatTheProgramDoesNotKnow)
{
    WriteSettings(u"<DriverSetting version='2'><Address pc='5' note='by hand'/><File path='/a.fw'/>"
                  u"<Communication type='serialPort' extra='1'><SerialPort port='COM3' speed='9600' parity='odd' "
                  u"flow='none'/></Communication><Operator name='Jana'/></DriverSetting>");
    Init({u"COM3"});
    dlg.CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_TCP);
    Close();
    const std::u16string expected =
        u"\uFEFF<DriverSetting version=\"2\">\r\n"
        u"\t<Address pc=\"5\" note=\"by hand\" />\r\n"
        u"\t<File path=\"/a.fw\" />\r\n"
        u"\t<Communication type=\"TCP\" extra=\"1\">\r\n"
        u"\t\t<SerialPort port=\"COM3\" speed=\"9600\" parity=\"odd\" flow=\"none\" />\r\n"
        u"\t\t<TCP ip=\"192.168.222.222\" port=\"1234\" timeout=\"5000\" readDelay=\"300\" />\r\n"
        u"\t</Communication>\r\n"
        u"\t<Operator name=\"Jana\" />\r\n"
        u"</DriverSetting>\r\n";
    EXPECT_EQ(Written(), Utf16LeBytes(expected));
}

TEST_F(Settings, RootWithAnotherNameIsSavedAsItWas)
{
    WriteSettings(u"<Other a='1'>\r\n  <Address pc='5'/>\r\n</Other>");
    Init({u"COM3"});
    Close();
    EXPECT_EQ(Written(), Utf16LeBytes(u"\uFEFF<Other a=\"1\">\r\n\t<Address pc=\"5\" />\r\n</Other>\r\n"));
}

TEST_F(Settings, NegativeNumbersReadBackUnchanged)
{
    WriteSettings(u"<DriverSetting><Address/><File/><Communication><SerialPort speed='-1' timeout='4294967295'/>"
                  u"</Communication></DriverSetting>");
    Init({u"COM1"});
    EXPECT_EQ(dlg.m_baudRate, -1);
    EXPECT_EQ(dlg.m_timeout, -1);
    Close();
    const std::string bytes = Written();
    EXPECT_NE(bytes.find(Utf16LeBytes(u"speed=\"-1\"")), std::string::npos);
    EXPECT_NE(bytes.find(Utf16LeBytes(u"timeout=\"-1\"")), std::string::npos);
}

TEST_F(Settings, CommandLineModeLeavesTheFileUntouched)
{
    WriteSettings(u"<DriverSetting><Address pc='5'/></DriverSetting>   odd layout");
    const std::string before = Written();
    CPrikazovyRadek record;
    const std::vector<std::u16string> args = {u"-c", u"COM3", u"115200", u"8", u"0"};
    ParseCommandLine(record, args);
    dlg.m_pCmdLine = &record;
    Init({u"COM3"});
    EXPECT_EQ(dlg.m_pcAddress, 1);  // not read
    Close();
    EXPECT_EQ(Written(), before);
}

// An unplugged port must not be replaced by whatever the list shows first,
// and a file named on the command line is what the window uses and saves.
TEST_F(Settings, SavedPortThatIsAbsentIsKeptAndCommandLineFileWins)
{
    WriteSettings(u"<DriverSetting><Address pc='1'/><File path='/srv/old.fw'/>"
                  u"<Communication type='serialPort'><SerialPort port='ttyUSB1'/></Communication></DriverSetting>");
    CPrikazovyRadek record;
    ParseCommandLine(record, std::vector<std::u16string>{u"-f", u"/srv/new.fw"});
    dlg.m_pCmdLine = &record;
    Init({u"ttyUSB0", u"ttyUSB10"});
    EXPECT_EQ(host.Text(IDC_FILE_PATH), u"/srv/new.fw");
    EXPECT_EQ(host.ListGetSelection(IDC_COM_PORT), 0);
    Close();
    const std::string bytes = Written();
    EXPECT_NE(bytes.find(Utf16LeBytes(u"port=\"ttyUSB1\"")), std::string::npos);
    EXPECT_NE(bytes.find(Utf16LeBytes(u"path=\"/srv/new.fw\"")), std::string::npos);
}

// The defaults a damaged file gives way to, as the window shows them.
void ExpectDefaults(const CPyrrowDlg& dlg)
{
    EXPECT_EQ(dlg.m_pcAddress, 1);
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

void PrintTo(const DamagedCase& c, std::ostream* os)
{
    *os << c.name;
}

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

const std::string kParseFailure = "does not parse (code -";

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
                    "pyrrow.config.damaged", kParseFailure},
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
                    "pyrrow.config.damaged.2", kParseFailure},
        // The link is moved, not what it leads to: the notes stay as they are.
        DamagedCase{"LinkToANonXmlFile",
                    [](const fs::path& d) {
                        WriteBytes(d / "notes.txt", "COM3 at 9600 baud\n");
                        fs::create_symlink(d / "notes.txt", d / "pyrrow.config");
                    },
                    "pyrrow.config.damaged", kParseFailure}),
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
    EXPECT_EQ(dlg.m_pcAddress, 7);
    EXPECT_EQ(dlg.m_ipAddress, 0x0A000009u);

    dlg.CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
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
    EXPECT_EQ(dlg.m_pcAddress, 7);
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

TEST_F(Settings, TooLongProgramPathUsesNoSettings)
{
    dlg.m_moduleFileName = [](pyrrow::platform::ModuleHandle) { return u"/" + std::u16string(600, u'x'); };
    Init({u"COM1"});
    EXPECT_EQ(dlg.m_configPath.GetLength(), 0);
    EXPECT_EQ(dlg.SaveSettings(), 0);
}

TEST_F(Settings, ProgramNameWithoutExtension)
{
    Init({u"COM1"});
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.config"));
    dlg.m_moduleFileName = [this](pyrrow::platform::ModuleHandle) { return dir.File("pyrrow.bin.exe"); };
    dlg.OpenSettingsFile();
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.bin.config"));
    EXPECT_EQ(dlg.m_configPath.GetCapacity(), 520);
}

}  // namespace
