// The TCP transport: one connection, the header echoed back with a zero
// status, then numbered frames of up to 1024 bytes, each acknowledged by
// the device before the next is sent.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/pyrrow_dlg.h"
#include "res/resource.h"

namespace platform = pyrrow::platform;

namespace {

constexpr std::chrono::milliseconds kConnectTimeout{3500};
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kEchoedBytes = 16;
constexpr std::size_t kReceiveBuffer = 256;
constexpr std::size_t kBlockSize = 1024;
constexpr int kReceiveAttempts = 26;
constexpr unsigned kReceivePauseMs = 100;
constexpr int kMinimumAcknowledgement = 6;

}  // namespace

void CPyrrowDlg::UploadTcp()
{
    if (!ConnectTcp(IpGetAddress(IDC_IP_ADDRESS))) {
        // A failed connection would otherwise look like a finished upload.
        ShowUploadError(u"Nepodařilo se připojit k zařízení!");
        return;
    }

    std::uint32_t size = 0;
    if (platform::FileHandle file = OpenFirmware(&size)) {
        ReportProgressStart(size);
        if (SendHeaderTcp(file)) {
            unsigned char frame[2 + kBlockSize];
            std::uint32_t position = kHeaderSize;
            std::uint32_t counter = 0;
            std::size_t read = 0;
            while (ReadFirmwareBlock(file, frame + 2, kBlockSize, &read) && read > 0) {
                frame[0] = static_cast<unsigned char>(counter & 0xFF);
                frame[1] = static_cast<unsigned char>((counter >> 8) & 0xFF);
                position += static_cast<std::uint32_t>(read);
                ReportProgressStep(position);
                if (platform::SendTcp(m_socket, frame, read + 2) != static_cast<int>(read + 2)) {
                    ShowUploadError(u"send error");
                    break;
                }
                bool acknowledged = false;
                unsigned char answer[kReceiveBuffer];
                for (int attempt = 0; attempt < kReceiveAttempts && !acknowledged; ++attempt) {
                    m_sleep(kReceivePauseMs);
                    acknowledged = platform::ReceiveTcp(m_socket, answer, sizeof answer) >= kMinimumAcknowledgement;
                }
                if (!acknowledged) {
                    ShowUploadError(u"receive response error");
                    break;
                }
                ++counter;
            }
        }
        ReportProgressEnd();
        platform::CloseFile(file);
    }

    if (m_socket != nullptr) {
        platform::CloseTcp(m_socket);
        m_socket = nullptr;
        platform::StopNetwork();
    }
}

int CPyrrowDlg::ConnectTcp(std::uint32_t address)
{
    if (!platform::StartNetwork())
        return 0;
    m_socket = platform::ConnectTcp(address, static_cast<std::uint16_t>(m_tcpPort & 0xFFFF), kConnectTimeout);
    if (m_socket == nullptr) {
        platform::StopNetwork();
        return 0;
    }
    return 1;
}

int CPyrrowDlg::SendHeaderTcp(platform::FileHandle file)
{
    unsigned char header[kHeaderSize];
    std::size_t read = 0;
    if (platform::ReadNext(file, header, sizeof header, &read) && read == sizeof header &&
        platform::SendTcp(m_socket, header, sizeof header) == static_cast<int>(sizeof header)) {
        unsigned char answer[kReceiveBuffer];
        for (int attempt = 0; attempt < kReceiveAttempts; ++attempt) {
            m_sleep(kReceivePauseMs);
            const int got = platform::ReceiveTcp(m_socket, answer, sizeof answer);
            if (got <= 0)
                continue;
            // The first answer decides: the header echoed and a zero status.
            if (got == static_cast<int>(kHeaderSize) && std::memcmp(answer, header, kEchoedBytes) == 0 &&
                answer[28] == 0 && answer[29] == 0)
                return 1;
            break;  // a rejected answer is a header failure, told like the others
        }
    }
    ShowUploadError(u"HeaderTCP error");
    return 0;
}
