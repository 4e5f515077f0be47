#include <filesystem>
#include <numeric>
#include <string>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/dialog_fixture.h"

namespace {

using namespace pyrrow::test;
using pyrrow::platform::HidDevice;

// A HID device played by the test. Time passes only through the dialog's
// recorded pauses, so an answer "after 3 s" comes after 3000 ms of pauses.
class ScriptedHid : public pyrrow::platform::HidBackend {
public:
    explicit ScriptedHid(const std::vector<unsigned>* sleeps) : m_sleeps(sleeps) {}

    std::vector<pyrrow::platform::HidDeviceInfo> Enumerate(unsigned short, unsigned short) override { return {}; }
    HidDevice OpenPath(const std::string&) override { return nullptr; }
    HidDevice Open(unsigned short vendorId, unsigned short productId) override
    {
        ids = {vendorId, productId};
        if (!present || held)
            return nullptr;
        ++opened;
        return reinterpret_cast<HidDevice>(&m_token);
    }
    int SetNonblocking(HidDevice, int value) override
    {
        nonblocking = value;
        return 0;
    }
    int Write(HidDevice, const unsigned char* data, std::size_t length) override
    {
        reports.emplace_back(reinterpret_cast<const char*>(data), length);
        if (reports.size() == 1)
            m_headerAt = Elapsed();
        if (static_cast<long>(reports.size()) == failWriteAt)
            return -1;
        return shortWrites ? 3 : static_cast<int>(length);
    }
    int Read(HidDevice, unsigned char* data, std::size_t) override
    {
        ++reads;
        if (readErrors > 0) {
            --readErrors;
            return -1;
        }
        if (answerAfterMs < 0 || Elapsed() - m_headerAt < static_cast<unsigned>(answerAfterMs))
            return 0;
        data[0] = 0x42;
        return 64;
    }
    std::u16string Error(HidDevice) override { return u"Broken pipe"; }
    pyrrow::platform::SystemError::Kind OpenErrorKind() override
    {
        return held ? pyrrow::platform::SystemError::Kind::Busy : pyrrow::platform::SystemError::Kind::Other;
    }
    void Close(HidDevice device) override
    {
        EXPECT_EQ(device, reinterpret_cast<HidDevice>(&m_token));
        ++closed;
    }

    bool present = true;
    bool held = false;      // another upload holds the unit
    int answerAfterMs = 0;  // -1: never
    long failWriteAt = -1;  // the report (counting from 1) whose write fails
    bool shortWrites = false;
    int readErrors = 0;
    std::pair<unsigned short, unsigned short> ids;
    std::vector<std::string> reports;
    int nonblocking = 0;
    int opened = 0;
    int closed = 0;
    int reads = 0;

private:
    unsigned Elapsed() const { return std::accumulate(m_sleeps->begin(), m_sleeps->end(), 0u); }

    const std::vector<unsigned>* m_sleeps;
    int m_token = 0;
    unsigned m_headerAt = 0;
};

class UsbUpload : public UploadTest {
protected:
    UsbUpload() : hid(&sleeps)
    {
        dlg.m_hid = &hid;
        Init({u"ttyS0"});
        dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_USB);
    }

    void UploadFile(const std::string& file)
    {
        UseFirmware(file);
        Upload();
        EXPECT_EQ(hid.closed, hid.opened);  // the device is closed after every upload
    }

    ScriptedHid hid;
};

std::string Report(const std::string& payload)
{
    std::string report(65, '\0');
    report.replace(1, payload.size(), payload);
    return report;
}

TEST_F(UsbUpload, ReportsOfSixtyFiveBytesWithZeroPadding)
{
    const std::string file = Firmware(32 + 65);
    UploadFile(file);
    EXPECT_EQ(hid.ids, (std::pair<unsigned short, unsigned short>{0x0483, 0xA151}));
    EXPECT_EQ(hid.nonblocking, 1);
    EXPECT_EQ(hid.reports,
              (std::vector<std::string>{Report(file.substr(0, 32)), Report(file.substr(32, 64)), Report(file.substr(96))}));
    EXPECT_EQ(host.ProgressCalls(), (std::vector<std::string>{"range 0 97", "pos 0", "pos 96", "pos 97", "pos 0"}));
    EXPECT_EQ(sleeps, (std::vector<unsigned>{1000, 10, 10}));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UsbUpload, AnswerAfterThreeSeconds)
{
    hid.answerAfterMs = 3000;
    UploadFile(Firmware(40));
    EXPECT_EQ(hid.reads, 3);
    EXPECT_EQ(hid.reports.size(), 2u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UsbUpload, SilenceGivesHeaderErrorAfterFivePolls)
{
    hid.answerAfterMs = -1;
    UploadFile(Firmware(200));
    EXPECT_EQ(hid.reads, 5);
    EXPECT_EQ(sleeps, std::vector<unsigned>(5, 1000));
    EXPECT_EQ(hid.reports.size(), 1u);  // the header only
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderUSB error")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

TEST_F(UsbUpload, ReadErrorsWhilePollingAreNotShown)
{
    hid.readErrors = 2;
    hid.answerAfterMs = 0;
    UploadFile(Firmware(40));
    EXPECT_EQ(hid.reads, 3);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UsbUpload, FailedDataWriteShowsTheLibraryText)
{
    hid.failWriteAt = 3;  // the second data report
    UploadFile(Firmware(32 + 64 * 4));
    EXPECT_EQ(hid.reports.size(), 3u);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Broken pipe", u"hid_write error")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

// A file that shrinks under the upload must not end as if all of it went.
TEST_F(UsbUpload, FileThatShrinksMidUploadIsAReadError)
{
    const auto path = dir.path() / "unit.fw";
    bool shrunk = false;
    dlg.m_sleep = [&](unsigned ms) {
        sleeps.push_back(ms);
        std::error_code error;
        if (ms == 10 && sleeps.size() == 2)  // after the first data report
            std::filesystem::resize_file(path, 32 + 64 + 10, error);
        shrunk = shrunk || (sleeps.size() == 2 && !error);
    };
    UploadFile(Firmware(32 + 64 * 4));
    if (!shrunk)
        GTEST_SKIP() << "the system keeps a file open for the upload alone from changing";
    EXPECT_EQ(hid.reports.size(), 3u);  // the header, then 64 and 10 bytes
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Chyba při čtení souboru s firmwarem!")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

// The bar's range is 32-bit; past 2 GiB it shows the file at a coarser
// scale instead of wrapping or standing still.
TEST_F(UsbUpload, BarOfAFileOverFourGibibytesMovesForward)
{
    const auto path = dir.path() / "unit.fw";
    WriteBytes(path, Firmware(32 + 128));
    std::filesystem::resize_file(path, (5ull << 30) + 32);  // sparse
    hid.failWriteAt = 3;
    dlg.m_strFirmwarePath = dir.File("unit.fw");
    Upload();
    EXPECT_EQ(host.ProgressCalls(), (std::vector<std::string>{"range 0 1342177288", "pos 0", "pos 24", "pos 40", "pos 0"}));
    EXPECT_EQ(taskbar[1], "value 0 5368709152");
}

TEST_F(UsbUpload, FailedHeaderWriteIsAHeaderError)
{
    hid.failWriteAt = 1;
    UploadFile(Firmware(100));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderUSB error")});
}

TEST_F(UsbUpload, ShortWriteCountGoesOn)
{
    hid.shortWrites = true;
    UploadFile(Firmware(32 + 64 * 3));
    EXPECT_EQ(hid.reports.size(), 4u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UsbUpload, NoDeviceHeldDeviceAndNoFile)
{
    hid.present = false;
    UploadFile(Firmware(100));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"hid_open(0x0483, 0xA151) error")});
    EXPECT_TRUE(host.ProgressCalls().empty());

    // Held by another upload: the same message, and not a report written.
    TestHost held;
    dlg.AttachHost(&held);
    hid.present = true;
    hid.held = true;
    Upload();
    EXPECT_EQ(held.MessageBoxes(), std::vector<MessageBoxCall>{UploadError(u"hid_open(0x0483, 0xA151) error")});
    EXPECT_TRUE(held.ProgressCalls().empty());
    EXPECT_TRUE(hid.reports.empty());
    hid.held = false;

    TestHost fresh;
    dlg.AttachHost(&fresh);
    hid.present = true;
    dlg.m_strFirmwarePath = dir.File("missing.fw");
    Upload();
    EXPECT_EQ(fresh.MessageBoxes(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se otevřít soubor s firmwarem!")});
    EXPECT_EQ(hid.closed, 1);
    dlg.AttachHost(&host);
}

TEST_F(UsbUpload, TwoUploadsInARow)
{
    const std::string file = Firmware(50);
    UploadFile(file);
    UploadFile(file);
    EXPECT_EQ(hid.opened, 2);
    EXPECT_EQ(hid.reports.size(), 4u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(UsbUpload, NoRadioCheckedMeansUsb)
{
    dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, 0);
    UploadFile(Firmware(40));
    EXPECT_EQ(hid.opened, 1);
}

TEST(UsbWithHidapi, NoDeviceAttached)
{
    TestHost host;
    CPyrrowDlg dlg;
    dlg.AttachHost(&host);
    dlg.m_strFirmwarePath = u"/nonexistent.fw";
    dlg.UploadUsb();  // the real library finds no 0483:A151 device on a build machine
    EXPECT_EQ(host.MessageBoxes(), std::vector<MessageBoxCall>{UploadError(u"hid_open(0x0483, 0xA151) error")});
    pyrrow::platform::ShutdownHid();
}

}  // namespace
