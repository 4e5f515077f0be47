#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/system_conventions.h"

namespace {

using pyrrow::test::AbsolutePath;
using pyrrow::test::DialogTest;
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
        const int index = dlg.ListGetCurSel(IDC_COM_PORT);
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

TEST_F(MainDialog, ComTenBeforeComOneIsNotTakenForComOne)
{
    Init({u"COM10", u"COM1"});
    EXPECT_EQ(Selected(), u"COM1");
}

// The firmware must go to the port the operator named, or to the first one
// listed when that port does not exist; never to one whose name merely
// begins the same.
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
        {u"ttyUSB1", {}, listed, u"ttyS0"},
        {u"COM3", {}, listed, u"ttyS0"},
        {u"TTYs2", {}, listed, u"ttyS2"},
        {u"/dev/ttyUSB10", {}, listed, u"ttyUSB10"},
        {u"/dev/pts/7", {}, listed, u"ttyS0"},
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
        test.dlg.OnEvent(DialogEvent::Command, IDC_REFRESH);  // an added port that went away leaves the list
        EXPECT_EQ(test.host.ListItems(IDC_COM_PORT), listed);
    }
}

TEST_F(MainDialog, CommandLinePortNotInTheListTakesTheFirstEntry)
{
    const std::u16string file = AbsolutePath(u"srv/unit.fw");
    InitWithArguments({u"-c", u"COM7", u"115200", u"8", u"0", u"-f", file}, {u"ttyS0", u"ttyUSB0"});
    EXPECT_EQ(Selected(), u"ttyS0");
    EXPECT_TRUE(host.IsButtonChecked(IDC_RADIO_SERIAL));
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"ttyS0");
    EXPECT_EQ(dlg.m_strFirmwarePath, file);
    EXPECT_EQ(host.Text(IDC_FILE_PATH), file);
    EXPECT_EQ(dlg.m_configPath.GetLength(), 0);  // no settings in this mode
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
    dlg.CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
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
    EXPECT_EQ(host.ListItems(IDC_COM_PORT), ports);
    EXPECT_EQ(Selected(), u"ttyUSB0");
    EXPECT_EQ(std::u16string(dlg.m_comPort.GetString()), u"ttyUSB1");  // kept until a new pick
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
