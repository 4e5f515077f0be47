// The USB HID transport: 65-byte output reports (report id 0 and 64 payload
// bytes, zero padded) to the device 0483:A151; any input report answers the
// header, data reports are paced by 10 ms pauses.
#include <cstring>

#include "app/pyrrow_dlg.h"

namespace platform = pyrrow::platform;

namespace {

constexpr unsigned short kVendorId = 0x0483;
constexpr unsigned short kProductId = 0xA151;
constexpr std::size_t kReportSize = 65;  // report id + 64 payload bytes
constexpr std::size_t kPayload = 64;
constexpr std::size_t kHeaderSize = 32;
constexpr int kAnswerPolls = 5;
constexpr unsigned kPollPauseMs = 1000;
constexpr unsigned kPauseAfterReportMs = 10;

}  // namespace

void CPyrrowDlg::UploadUsb()
{
    const platform::HidDevice device = m_hid->Open(kVendorId, kProductId);
    if (device == nullptr) {
        ShowUploadError(u"hid_open(0x0483, 0xA151) error");
        return;
    }

    std::uint32_t size = 0;
    if (platform::FileHandle file = OpenFirmware(&size)) {
        ReportProgressStart(size);
        m_hid->SetNonblocking(device, 1);
        if (SendHeaderUsb(file, device)) {
            unsigned char report[kReportSize];
            std::uint32_t position = kHeaderSize;
            for (;;) {
                std::memset(report, 0, sizeof report);
                std::size_t read = 0;
                if (!ReadFirmwareBlock(file, report + 1, kPayload, &read) || read == 0)
                    break;
                position += static_cast<std::uint32_t>(read);
                ReportProgressStep(position);
                // A short count is no failure; only -1 is.
                if (m_hid->Write(device, report, sizeof report) == -1) {
                    ShowUploadError(m_hid->Error(device), u"hid_write error");
                    break;
                }
                m_sleep(kPauseAfterReportMs);
            }
        }
        ReportProgressEnd();
        platform::CloseFile(file);
    }
    m_hid->Close(device);
}

int CPyrrowDlg::SendHeaderUsb(platform::FileHandle file, platform::HidDevice device)
{
    unsigned char report[kReportSize] = {};
    std::size_t read = 0;
    if (platform::ReadNext(file, report + 1, kHeaderSize, &read) && read == kHeaderSize &&
        m_hid->Write(device, report, sizeof report) > 0) {
        unsigned char answer[kReportSize];
        for (int poll = 0; poll < kAnswerPolls; ++poll) {
            m_sleep(kPollPauseMs);
            const int got = m_hid->Read(device, answer, sizeof answer);
            if (got > 0)
                return 1;
            if (got == -1)
                platform::DebugOutput(m_hid->Error(device));  // read right after the failing call
        }
    }
    ShowUploadError(u"HeaderUSB error");
    return 0;
}
