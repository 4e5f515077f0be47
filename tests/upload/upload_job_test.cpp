#include <fstream>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/temp_dir.h"

namespace {

using namespace pyrrow::test;
using pyrrow::platform::MB_ICONERROR;

constexpr int kCommon[] = {IDC_BROWSE, IDOK, IDCANCEL, IDC_RADIO_SERIAL, IDC_RADIO_TCP, IDC_RADIO_USB};
constexpr int kSerialGroup[] = {IDC_PORT_LABEL, IDC_COM_PORT, IDC_REFRESH};
constexpr int kTcpGroup[] = {IDC_IP_LABEL, IDC_IP_ADDRESS};
constexpr int kUsbGroup[] = {IDC_DETECT_LABEL, IDC_DETECT};

class UploadJob : public DialogTest {
protected:
    void ExpectGroups(bool common, bool serial, bool tcp, bool usb)
    {
        for (int id : kCommon)
            EXPECT_EQ(host.IsEnabled(id), common) << id;
        for (int id : kSerialGroup)
            EXPECT_EQ(host.IsEnabled(id), serial) << id;
        for (int id : kTcpGroup)
            EXPECT_EQ(host.IsEnabled(id), tcp) << id;
        for (int id : kUsbGroup)
            EXPECT_EQ(host.IsEnabled(id), usb) << id;
    }
};

TEST_F(UploadJob, EnableUploadControlsFollowsTheCheckedLink)
{
    Init();
    struct Case {
        int radio;  // 0: none checked
        bool serial, tcp, usb;
    };
    for (const Case& c : {Case{IDC_RADIO_SERIAL, true, false, false}, Case{IDC_RADIO_TCP, false, true, false},
                          Case{IDC_RADIO_USB, false, false, true}, Case{0, false, false, false}}) {
        SCOPED_TRACE(c.radio);
        dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, c.radio);
        dlg.EnableUploadControls(0);
        ExpectGroups(false, false, false, false);
        dlg.EnableUploadControls(1);
        ExpectGroups(true, c.serial, c.tcp, c.usb);
    }
}

TEST_F(UploadJob, ControlsAreLockedWhileBusyAndComeBackAfter)
{
    Init({u"/nonexistent/tty0"});
    std::atomic<int> busyInside{-1};
    bool lockedInside = true;
    dlg.m_startThread = [&](std::function<void()> body) {
        busyInside = dlg.m_bBusy.load();
        for (int id : kCommon)
            lockedInside = lockedInside && !host.IsEnabled(id);
        return dlg.m_worker.Start(std::move(body));
    };
    Upload();  // the port does not exist: the upload ends at once
    EXPECT_EQ(busyInside, 1);
    EXPECT_TRUE(lockedInside);
    EXPECT_EQ(dlg.m_bBusy, 0);
    ExpectGroups(true, true, false, false);
    EXPECT_EQ(dlg.m_hComPort, nullptr);
}

// Enter held at the end of an upload: the button is back before the worker
// has cleared the flag, and a second upload must not start under it.
TEST_F(UploadJob, SecondStartWhileBusyIsIgnored)
{
    Init({u"/nonexistent/tty0"});
    int starts = 0;
    dlg.m_startThread = [&](std::function<void()>) {
        ++starts;
        return true;  // the worker "runs" until the test says otherwise
    };
    dlg.StartUpload();
    dlg.EnableUploadControls(1);  // as the worker does just before it ends
    dlg.OnEvent(pyrrow::platform::DialogEvent::Command, IDOK);
    dlg.OnEvent(pyrrow::platform::DialogEvent::Command, IDCANCEL);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(dlg.m_bBusy, 1);
    EXPECT_FALSE(host.EndedWith().has_value());
    dlg.m_bBusy = 0;
}

TEST_F(UploadJob, WorkerThatCannotStartGivesTheDialogBack)
{
    Init();
    threadsFail = true;
    dlg.StartUpload();
    EXPECT_EQ(dlg.m_bBusy, 0);
    ExpectGroups(true, true, false, false);
    EXPECT_EQ(Messages(), (std::vector<MessageBoxCall>{{u"Nepodařilo se spustit nahrávání!", u"Pyrrow", MB_ICONERROR}}));
}

TEST_F(UploadJob, CloseIsRefusedWhileBusyAndAllowedAfter)
{
    Init();
    dlg.m_bBusy = 1;
    dlg.OnEvent(pyrrow::platform::DialogEvent::Close, 0);
    dlg.OnEvent(pyrrow::platform::DialogEvent::Command, IDCANCEL);  // Esc
    EXPECT_FALSE(host.EndedWith().has_value());
    EXPECT_EQ(Messages(), (std::vector<MessageBoxCall>{
                              {u"Během nahrávání nelze uzavřít dialog!", u"Upgrade FW", pyrrow::platform::MB_ICONEXCLAMATION}}));
    dlg.m_bBusy = 0;
    dlg.OnEvent(pyrrow::platform::DialogEvent::Close, 0);
    EXPECT_EQ(host.EndedWith(), IDCANCEL);
}

TEST_F(UploadJob, EnterStartsAnUploadAndNeverEndsTheDialog)
{
    Init({u"/nonexistent/tty0"});
    dlg.OnEvent(pyrrow::platform::DialogEvent::Command, IDOK);
    dlg.m_worker.Join();
    EXPECT_FALSE(host.EndedWith().has_value());
    EXPECT_EQ(Messages().size(), 1u);  // the port did not open
}

}  // namespace
