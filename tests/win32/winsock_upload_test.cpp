// The TCP upload through Winsock against a scripted device on the loopback
// interface: frames and their counters, a refused connection, a rejected
// header answer.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/tcp_device.h"

namespace {

using namespace std::chrono_literals;
using namespace pyrrow::test;

// A loopback port nobody listens on: bound once, then released.
class WinsockUpload : public UploadTest {
protected:
    WinsockUpload() { ShortenPauses(); }

    void Prepare(const std::string& file, std::uint16_t port)
    {
        Init({u"COM1"});
        ChooseTcp(0x7F000001, port);
        UseFirmware(file);
    }

    static TcpScript Echoing(const std::string& file, unsigned char status28 = 0)
    {
        TcpScript s;
        s.answer = [status28](const std::string& header) { return Echo(header, status28); };
        s.dataBytes = file.size() - 32;
        return s;
    }
};

TEST_F(WinsockUpload, FramesCarryCountersAndEachIsAcknowledged)
{
    const std::string file = Firmware(32 + 1024 + 1);
    TcpDevice device(Echoing(file));
    Prepare(file, device.Port());
    Upload();
    EXPECT_EQ(device.Counters(), (std::vector<std::uint16_t>{0, 1}));
    std::string expected = file.substr(0, 32);
    expected += std::string("\0\0", 2) + file.substr(32, 1024) + std::string("\1\0", 2) + file.substr(32 + 1024);
    EXPECT_EQ(device.Finish(), expected);
    EXPECT_EQ(host.ProgressCalls(), (std::vector<std::string>{"range 0 1057", "pos 0", "pos 1056", "pos 1057", "pos 0"}));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(dlg.m_socket, nullptr);
}

TEST_F(WinsockUpload, RefusedConnectionFailsAtOnce)
{
    const std::uint16_t port = UnusedLoopbackPort();
    Prepare(Firmware(100), port);
    testing::internal::CaptureStderr();
    Upload();
    // Refused shows in select's exception set: it is told as refused, not
    // as the 3.5 s time-out running out.
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("pyrrow: tcp: connect to 127.0.0.1:" + std::to_string(port) + ": "), std::string::npos) << told;
    EXPECT_NE(told.find("(10061)"), std::string::npos) << told;
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se připojit k zařízení!")});
    EXPECT_TRUE(host.ProgressCalls().empty());
}

TEST_F(WinsockUpload, HeaderWithAStatusSendsNoData)
{
    const std::string file = Firmware(32 + 100);
    TcpDevice device(Echoing(file, 1));
    Prepare(file, device.Port());
    Upload();
    EXPECT_EQ(device.Finish(), file.substr(0, 32));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

}  // namespace
