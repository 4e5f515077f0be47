#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "platform/files/named_file.h"
#include "platform/utf.h"
#include "res/resource.h"
#include "support/named_row.h"
#include "support/settings_fixture.h"
#include "support/system_conventions.h"

namespace {

namespace fs = std::filesystem;
using pyrrow::platform::DialogEvent;
using namespace pyrrow::test;

const fs::path kGolden = fs::path(PYRROW_TEST_DATA) / "settings";

TEST_F(Settings, FirstStartCreatesAnEmptyFileAndKeepsTheConstructionValues)
{
    Init({});
    EXPECT_TRUE(fs::exists(File()));
    EXPECT_EQ(fs::file_size(File()), 0u);
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.config"));
    EXPECT_EQ(dlg.m_linkKind, LINK_SERIAL);
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"COM1");
    EXPECT_EQ(dlg.m_settingsRecord.m_baudRate, 38400);
    EXPECT_EQ(dlg.m_settingsRecord.m_parity, 2);
    EXPECT_EQ(dlg.m_settingsRecord.m_timeout, 5000);
    EXPECT_EQ(dlg.m_settingsRecord.m_readDelay, 300);
    EXPECT_EQ(dlg.m_ipAddress, 0xC0A8DEDEu);
    EXPECT_EQ(dlg.m_tcpPort, 1234u);
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 1);
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
        dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, GetParam().radio);
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

using pyrrow::test::PrintTo;

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
    EXPECT_EQ(dlg.m_settingsRecord.m_baudRate, e.baud);
    EXPECT_EQ(dlg.m_settingsRecord.m_parity, e.parity);
    EXPECT_EQ(dlg.m_settingsRecord.m_timeout, e.timeout);
    EXPECT_EQ(dlg.m_ipAddress, e.ip);
    EXPECT_EQ(dlg.m_tcpPort, e.tcpPort);
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, e.pc);
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
        // No TCP element: nothing to read, so the construction values stay.
        LoadCase{"TcpWithoutItsElement", kHead + u"<Communication type='TCP'/></DriverSetting>",
                 {.link = LINK_TCP, .radio = IDC_RADIO_TCP, .pc = 7, .path = u"/srv/a.fw"}},
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
    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
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

// Saving finds the elements wherever they stand and updates them in place;
// loading reads "File" only after "Address" and "Communication" only after
// "File", so here it reads neither and the save writes the defaults into
// them. The link element missing under "Communication" is appended after
// the one there.
TEST_F(Settings, ElementsOutOfOrderAreUpdatedWhereTheyStand)
{
    WriteSettings(u"<DriverSetting><Communication type='TCP'><TCP ip='10.0.0.9' port='99'/></Communication>"
                  u"<File path='/srv/a.fw'/><Address pc='3'/></DriverSetting>");
    Init({u"COM1"});
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 3);
    EXPECT_TRUE(dlg.m_strFirmwarePath.empty());
    EXPECT_EQ(dlg.m_linkKind, LINK_SERIAL);
    Close();
    EXPECT_EQ(Written(), Utf16LeBytes(u"\uFEFF<DriverSetting>\r\n"
                                      u"\t<Communication type=\"serialPort\">\r\n"
                                      u"\t\t<TCP ip=\"10.0.0.9\" port=\"99\" />\r\n"
                                      u"\t\t<SerialPort port=\"COM1\" speed=\"38400\" parity=\"even\" "
                                      u"timeout=\"5000\" readDelay=\"300\" />\r\n"
                                      u"\t</Communication>\r\n"
                                      u"\t<File path=\"\" />\r\n"
                                      u"\t<Address pc=\"3\" />\r\n"
                                      u"</DriverSetting>\r\n"));
}

// An address typed into the field is what the operator sees and uploads
// to: with TCP chosen a close keeps it, also when it was typed after the
// TCP button; a blank field keeps the address before it.
TEST_F(Settings, CloseKeepsTheAddressTypedWithTcpChosen)
{
    const auto savedIp = [this] {
        const std::u16string text = pyrrow::test::FromUtf16LeBytes(Written());
        const std::size_t at = text.find(u"ip=\"");
        return at == std::u16string::npos ? std::u16string() : text.substr(at + 4, text.find(u'"', at + 4) - at - 4);
    };
    Init({u"COM1"});
    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_TCP);
    host.IpSetAddress(IDC_IP_ADDRESS, 0x0A000107);  // typed: 10.0.1.7
    Close();
    EXPECT_EQ(savedIp(), u"10.0.1.7");

    Init({u"COM1"});
    EXPECT_EQ(dlg.m_ipAddress, 0x0A000107u);
    host.IpSetAddress(IDC_IP_ADDRESS, 0);  // blanked
    Close();
    EXPECT_EQ(savedIp(), u"10.0.1.7");
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
    EXPECT_EQ(dlg.m_settingsRecord.m_baudRate, -1);
    EXPECT_EQ(dlg.m_settingsRecord.m_timeout, -1);
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
    EXPECT_EQ(dlg.m_settingsRecord.m_pcAddress, 1);  // not read
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
    const std::u16string firmware = pyrrow::test::AbsolutePath(u"srv/new.fw");
    ParseCommandLine(record, std::vector<std::u16string>{u"-f", firmware});
    dlg.m_pCmdLine = &record;
    Init({u"ttyUSB0", u"ttyUSB10"});
    EXPECT_EQ(host.Text(IDC_FILE_PATH), firmware);
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), (std::vector<std::u16string>{u"ttyUSB0", u"ttyUSB10", u"ttyUSB1"}));
    EXPECT_EQ(host.ListGetSelection(IDC_COM_PORT), 2);
    dlg.OnEvent(DialogEvent::Command, IDC_REFRESH);
    EXPECT_EQ(host.ListGetSelection(IDC_COM_PORT), 2);
    Close();
    const std::string bytes = Written();
    EXPECT_NE(bytes.find(Utf16LeBytes(u"port=\"ttyUSB1\"")), std::string::npos);
    EXPECT_NE(bytes.find(Utf16LeBytes(u"path=\"" + firmware + u"\"")), std::string::npos);
}

// A settings file beside the program that cannot be had gives the user's
// own file, and standard error says why; without a home folder no settings
// are used.
struct UnfitCase {
    const char* name;
    std::function<pyrrow::test::UnfitProgramPath()> program;
};

class ProgramPathUnfit : public Settings, public testing::WithParamInterface<UnfitCase> {};

TEST_P(ProgramPathUnfit, GivesTheUsersOwnFileAndSaysWhy)
{
    const pyrrow::test::UnfitProgramPath unfit = GetParam().program();
    const std::u16string own = dir.File("own");
    const std::u16string ownFile = own + pyrrow::platform::PathSeparator() + u"pyrrow.config";
    std::u16string beside = unfit.program;
    if (!beside.empty())
        beside.replace(beside.rfind(u"pyrrow"), std::u16string::npos, u"pyrrow.config");
    dlg.m_moduleFileName = [&](pyrrow::platform::ModuleHandle) { return unfit.program; };
    dlg.m_userConfigFolder = [&] { return own; };
    testing::internal::CaptureStderr();
    Init({u"COM1"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "settings: using " + pyrrow::platform::Utf16ToUtf8Lossy(ownFile) + " (this user's own file: " +
                  (beside.empty() ? "the program's own path cannot be had"
                                  : "the path beside the program, " + pyrrow::platform::Utf16ToUtf8Lossy(beside) +
                                        ", " + unfit.why) +
                  ")\n");
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), ownFile);
    Close();
    EXPECT_EQ(ReadBytes(fs::path(ownFile)), ReadBytes(kGolden / "first_close_serial.config"));

    dlg.m_userConfigFolder = [] { return std::u16string(); };
    testing::internal::CaptureStderr();
    EXPECT_EQ(dlg.OpenSettingsFile(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("settings: no settings are used in this run"),
              std::string::npos);
    EXPECT_EQ(dlg.m_configPath.GetLength(), 0);
    EXPECT_EQ(dlg.SaveSettings(), 0);
}

pyrrow::test::UnfitProgramPath TooLong()
{
    std::u16string program = pyrrow::test::AbsolutePath(u"srv");
    for (int i = 0; i < 52; ++i)
        program += pyrrow::platform::PathSeparator() + std::u16string(u"abcdefghi");
    program += pyrrow::platform::PathSeparator() + std::u16string(u"pyrrow");
    return {program, "comes from a program path of " + std::to_string(program.size()) +
                         " characters, more than the 519 kept for it"};
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgramPathUnfit,
                         testing::Values(UnfitCase{"TooLong", TooLong},
                                         // Longer than the system's limit (Linux tells no such path).
                                         UnfitCase{"CannotBeHad", [] { return pyrrow::test::UnfitProgramPath{}; }},
                                         UnfitCase{"UnfitForTheSystem", pyrrow::test::ProgramPathUnfitForFiles}),
                         [](const testing::TestParamInfo<UnfitCase>& p) { return p.param.name; });

TEST_F(Settings, ProgramNameWithoutExtension)
{
    Init({u"COM1"});
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.config"));
    dlg.m_moduleFileName = [this](pyrrow::platform::ModuleHandle) { return dir.File("pyrrow.bin.exe"); };
    dlg.OpenSettingsFile();
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("pyrrow.bin.config"));
    EXPECT_EQ(dlg.m_configPath.GetCapacity(), 520);
    // A dot in a folder's name is no extension.
    std::filesystem::create_directory(dir.path() / "v1.2");
    dlg.m_moduleFileName = [this](pyrrow::platform::ModuleHandle) { return dir.File("v1.2/pyrrow"); };
    dlg.OpenSettingsFile();
    EXPECT_EQ(std::u16string(dlg.m_configPath.GetString()), dir.File("v1.2/pyrrow.config"));
}

}  // namespace
