// The serial transport: the firmware header, a 32-byte answer, then the data
// in raw 256-byte blocks paced by 10 ms pauses, at 115200 bit/s, 8N1.
#include "app/pyrrow_dlg.h"
#include "res/resource.h"

namespace platform = pyrrow::platform;

namespace {

constexpr unsigned kBaudRate = 115200;
constexpr platform::SerialTimeouts kTimeouts{
    .readInterval = 5,
    .readTotalMultiplier = 11,
    .readTotalConstant = 1000,
    .writeTotalMultiplier = 250,
    .writeTotalConstant = 3000,
};
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kAnswerBuffer = 256;
constexpr std::size_t kBlockSize = 256;
constexpr int kAnswerAttempts = 5;
constexpr unsigned kPauseAfterHeaderMs = 100;
constexpr unsigned kPauseAfterBlockMs = 10;

}  // namespace

void CPyrrowDlg::UploadSerial()
{
    m_hComPort = platform::OpenSerial(SelectedPortName());
    if (m_hComPort == nullptr) {
        ShowUploadError(u"Nepodařilo se připojit ke zvolenému portu!");
        return;
    }
    platform::ConfigureSerial(m_hComPort, kBaudRate);
    platform::SetSerialTimeouts(m_hComPort, kTimeouts);

    std::uint32_t size = 0;
    if (platform::FileHandle file = OpenFirmware(&size)) {
        ReportProgressStart(size);
        if (SendHeaderSerial(file)) {
            unsigned char block[kBlockSize];
            std::uint32_t position = kHeaderSize;
            std::size_t read = 0;
            while (ReadFirmwareBlock(file, block, sizeof block, &read) && read > 0) {
                position += static_cast<std::uint32_t>(read);
                ReportProgressStep(position);
                std::size_t written = 0;
                if (!platform::WriteSerial(m_hComPort, block, read, &written) || written != read) {
                    ShowUploadError(u"Write error");
                    break;
                }
                m_sleep(kPauseAfterBlockMs);
            }
        }
        ReportProgressEnd();
        platform::CloseFile(file);
    }

    platform::CloseSerial(m_hComPort);
    m_hComPort = nullptr;
}

int CPyrrowDlg::SendHeaderSerial(platform::FileHandle file)
{
    unsigned char header[kHeaderSize];
    std::size_t read = 0;
    std::size_t written = 0;
    if (platform::ReadNext(file, header, sizeof header, &read) && read == sizeof header &&
        platform::WriteSerial(m_hComPort, header, sizeof header, &written) && written == sizeof header) {
        m_sleep(kPauseAfterHeaderMs);
        unsigned char answer[kAnswerBuffer];
        for (int attempt = 0; attempt < kAnswerAttempts; ++attempt) {
            std::size_t got = 0;
            if (platform::ReadSerial(m_hComPort, answer, sizeof answer, &got) && got == kHeaderSize)
                return 1;
        }
    }
    ShowUploadError(u"HeaderCOM error");
    return 0;
}
