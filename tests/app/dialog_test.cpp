#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/system_conventions.h"
#include "support/temp_dir.h"

namespace {

using namespace pyrrow::test;
using pyrrow::platform::DialogEvent;

std::vector<std::u16string> Fallback()
{
    std::vector<std::u16string> names;
    for (int n = 1; n <= 20; ++n) {
        const std::string name = "COM" + std::to_string(n);
        names.emplace_back(name.begin(), name.end());
    }
    return names;
}

class MainDialog : public DialogTest {
protected:
    std::u16string Selected() const
    {
        const int index = dlg.Host().ListGetSelection(IDC_COM_PORT);
        return index >= 0 ? host.ListItems(IDC_COM_PORT)[static_cast<std::size_t>(index)] : u"<none>";
    }

    // Command-line mode: the record as the arguments make it.
    void InitWithArguments(std::vector<std::u16string> arguments, std::vector<std::u16string> list)
    {
        ParseCommandLine(record, arguments);
        dlg.m_pCmdLine = &record;
        Init(std::move(list));
    }

    CPrikazovyRadek record;
};

TEST_F(MainDialog, PortListInTheOrderTheSystemGives)
{
    Init({u"ttyS0", u"ttyUSB2", u"ttyUSB10"});
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), (std::vector<std::u16string>{u"ttyS0", u"ttyUSB2", u"ttyUSB10"}));
    EXPECT_EQ(Selected(), u"ttyS0");
    EXPECT_TRUE(host.IsButtonChecked(IDC_RADIO_SERIAL));
    EXPECT_EQ(dlg.m_linkKind, LINK_SERIAL);
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"ttyS0");
    EXPECT_TRUE(host.IsEnabled(IDC_COM_PORT));
    EXPECT_FALSE(host.IsEnabled(IDC_IP_ADDRESS));
    EXPECT_FALSE(host.IsEnabled(IDC_DETECT));
}

TEST_F(MainDialog, NothingFoundGivesComOneToTwenty)
{
    Init({});
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), Fallback());
    EXPECT_EQ(Selected(), u"COM1");
}

// COM1 is ttyS0 on Linux: where that carries the console, a first start must
// not preselect it, and the list leaves it out as the system's list does.
TEST_F(MainDialog, FallbackLeavesOutTheConsole)
{
    consoles = {u"COM1"};
    Init({});
    std::vector<std::u16string> expected = Fallback();
    expected.erase(expected.begin());
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), expected);
    EXPECT_EQ(Selected(), u"COM2");
}

TEST_F(MainDialog, ComTenBeforeComOneIsNotTakenForComOne)
{
    Init({u"COM10", u"COM1"});
    EXPECT_EQ(Selected(), u"COM1");
}

// The firmware must go to the port the operator named, never to one whose
// name merely begins the same nor, when the named one is absent, to another
// one: the list shows the name, across refresh, until another entry is picked.
TEST_F(MainDialog, CommandLinePortIsSelectedByItsWholeName)
{
    struct Case {
        std::u16string port;
        std::vector<std::u16string> devices;  // beyond the list
        std::vector<std::u16string> list;     // afterwards
        std::u16string selected;
    };
    const std::vector<std::u16string> listed = {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10"};
    const Case cases[] = {
        {u"/dev/pts/1", {u"/dev/pts/1"}, {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10", u"/dev/pts/1"}, u"/dev/pts/1"},
        {u"/dev/serial/by-id/usb-unit-if00", {u"/dev/serial/by-id/usb-unit-if00"},
         {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10", u"/dev/serial/by-id/usb-unit-if00"}, u"/dev/serial/by-id/usb-unit-if00"},
        {u"ttyUSB1", {}, {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10", u"ttyUSB1"}, u"ttyUSB1"},
        {u"COM3", {}, {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10", u"COM3"}, u"COM3"},
        {u"TTYs2", {}, listed, u"ttyS2"},
        {u"/dev/ttyUSB10", {}, listed, u"ttyUSB10"},
        {u"/dev/pts/7", {}, {u"ttyS0", u"ttyS1", u"ttyS2", u"ttyUSB10", u"/dev/pts/7"}, u"/dev/pts/7"},
    };
    // A fresh dialog for each case.
    struct Fresh final : MainDialog {
        void TestBody() override {}
        using MainDialog::devices, MainDialog::dlg, MainDialog::host, MainDialog::Init, MainDialog::record,
            MainDialog::Selected;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port.begin(), c.port.end()));
        Fresh test;
        test.devices = c.devices;
        // Straight into the record: on Windows a leading '/' would mark an option.
        c.port.copy(test.record.m_szPort, c.port.size());
        test.record.m_szPort[c.port.size()] = 0;
        test.dlg.m_pCmdLine = &test.record;
        test.Init(listed);
        EXPECT_EQ(test.host.ListItems(IDC_COM_PORT), c.list);
        EXPECT_EQ(test.Selected(), c.selected);
        EXPECT_EQ(std::u16string(test.dlg.m_comPort.GetString()), c.selected);
        test.devices.clear();
        test.dlg.OnEvent(DialogEvent::Command, IDC_REFRESH);  // gone or never there: still the choice
        EXPECT_EQ(test.host.ListItems(IDC_COM_PORT), c.list);
        EXPECT_EQ(test.Selected(), c.selected);
        test.host.ListSelect(IDC_COM_PORT, 1);  // the operator picks another entry
        test.dlg.OnEvent(DialogEvent::SelChange, IDC_COM_PORT);
        test.dlg.OnEvent(DialogEvent::Command, IDC_REFRESH);
        EXPECT_EQ(test.host.ListItems(IDC_COM_PORT), listed);
        EXPECT_EQ(std::u16string(test.dlg.m_comPort.GetString()), u"ttyS1");
    }
}

// Enter with a named port that is not there tries that port and fails; it
// does not flash the unit on the first port listed.
TEST_F(MainDialog, CommandLinePortThatIsAbsentIsTheOneTheUploadTries)
{
    pyrrow::test::TempDir dir;
    const std::u16string file = dir.File("unit.fw");
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", pyrrow::test::Firmware(64));
    // Paths no device answers to, the listed ones too: a faulty upload must
    // not open a port of this machine.
    const std::u16string absent = dir.File("ttyGone9");
    const std::u16string listed = dir.File("ttyListed0");
    InitWithArguments({u"-c", absent, u"115200", u"8", u"0", u"-f", file}, {listed});
    EXPECT_EQ(Selected(), absent);
    EXPECT_TRUE(host.IsButtonChecked(IDC_RADIO_SERIAL));
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), absent);
    EXPECT_EQ(host.Text(IDC_FILE_PATH), file);
    EXPECT_EQ(dlg.m_configPath.GetLength(), 0);  // no settings in this mode
    testing::internal::CaptureStderr();
    Upload();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Messages(), std::vector{pyrrow::test::UploadError(u"Nepodařilo se připojit ke zvolenému portu!")});
    EXPECT_NE(errors.find("ttyGone9"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("ttyListed0"), std::string::npos) << errors;
}

TEST_F(MainDialog, CommandLinePortAsDevicePathSelectsItsEntry)
{
    const pyrrow::test::DevicePathCase c = pyrrow::test::PortByDevicePath();
    InitWithArguments({u"-c", c.argument, u"115200", u"8", u"0"}, c.ports);
    EXPECT_EQ(Selected(), c.entry);
    EXPECT_EQ(host.Text(IDC_FILE_PATH), u"");
}

TEST_F(MainDialog, TcpButtonShowsTheKeptAddressWhenTheFieldIsBlank)
{
    Init({u"ttyS0"});
    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_TCP);
    EXPECT_EQ(host.IpGetAddress(IDC_IP_ADDRESS), 0xC0A8DEDEu);
    EXPECT_EQ(dlg.m_linkKind, LINK_TCP);
    EXPECT_TRUE(host.IsEnabled(IDC_IP_ADDRESS));
    EXPECT_FALSE(host.IsEnabled(IDC_COM_PORT));
    // A typed address is taken only when the button is clicked again.
    host.TypeIpAddress(IDC_IP_ADDRESS, 0x0A000001);
    EXPECT_EQ(dlg.m_ipAddress, 0xC0A8DEDEu);
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_TCP);
    EXPECT_EQ(dlg.m_ipAddress, 0x0A000001u);
}

TEST_F(MainDialog, UsbButtonEnablesDetectWhichDoesNothing)
{
    Init({u"ttyS0"});
    dlg.OnEvent(DialogEvent::Command, IDC_RADIO_USB);
    EXPECT_EQ(dlg.m_linkKind, LINK_USB);
    EXPECT_TRUE(host.IsEnabled(IDC_DETECT));
    EXPECT_TRUE(host.IsEnabled(IDC_DETECT_LABEL));
    dlg.OnEvent(DialogEvent::Command, IDC_DETECT);
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(host.EndedWith().has_value());
}

TEST_F(MainDialog, RefreshAfterTheSelectedPortVanished)
{
    Init({u"ttyUSB0", u"ttyUSB1"});
    host.ListSelect(IDC_COM_PORT, 1);
    dlg.OnEvent(DialogEvent::SelChange, IDC_COM_PORT);
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"ttyUSB1");
    ports = {u"ttyUSB0", u"ttyACM0"};
    dlg.OnEvent(DialogEvent::Command, IDC_REFRESH);
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), (std::vector<std::u16string>{u"ttyUSB0", u"ttyACM0", u"ttyUSB1"}));
    EXPECT_EQ(Selected(), u"ttyUSB1");  // the next upload tries it, and no other port
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"ttyUSB1");
}

TEST_F(MainDialog, LongPortNamesAreCut)
{
    const std::u16string longName(300, u'x');
    Init({longName});
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), longName.substr(0, 127));
}

TEST_F(MainDialog, BrowseOffersFirmwareFilesFirstAndKeepsThePathOnCancel)
{
    InitWithArguments({u"-dir", AbsolutePath(u"srv/firmware")}, {u"ttyS0"});
    dlg.m_strFirmwarePath = u"/old.fw";
    host.AnswerFileDialogWith(std::nullopt);
    dlg.OnEvent(DialogEvent::Command, IDC_BROWSE);
    EXPECT_EQ(dlg.m_strFirmwarePath, u"/old.fw");
    const auto request = host.LastFileRequest();
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->initialDirectory, AbsolutePath(u"srv/firmware"));
    ASSERT_EQ(request->filters.size(), 2u);
    EXPECT_EQ(request->filters[0].name, u"Pyrrow FW files");
    EXPECT_EQ(request->filters[0].pattern, u"*.fw");
    EXPECT_EQ(request->filters[1].name, u"All files");
    EXPECT_EQ(request->filters[1].pattern, u"*");
    EXPECT_EQ(request->defaultExtension, u"fw");

    host.AnswerFileDialogWith(u"/srv/firmware/unit 7.fw");
    dlg.OnEvent(DialogEvent::Command, IDC_BROWSE);
    EXPECT_EQ(dlg.m_strFirmwarePath, u"/srv/firmware/unit 7.fw");
    EXPECT_EQ(host.Text(IDC_FILE_PATH), u"/srv/firmware/unit 7.fw");
}

TEST_F(MainDialog, EscClosesWhenIdle)
{
    Init({u"ttyS0"});
    dlg.OnEvent(DialogEvent::Command, IDCANCEL);
    EXPECT_EQ(host.EndedWith(), IDCANCEL);
}

}  // namespace
