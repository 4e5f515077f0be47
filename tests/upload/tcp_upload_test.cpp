#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/full_listener.h"
#include "upload/tcp_link.h"
#include "support/named_row.h"
#include "support/tcp_device.h"

namespace {

using namespace pyrrow::test;
using namespace std::chrono_literals;

class TcpUpload : public UploadTest {
protected:
    TcpUpload() { ShortenPauses(); }

    void Prepare(const std::string& file, std::uint16_t port, std::uint32_t address = 0x7F000001)
    {
        Init({u"ttyS0"});
        ChooseTcp(address, 0xABCD0000u | port);
        UseFirmware(file);
    }

    std::string UploadTo(const std::string& file, TcpScript script)
    {
        TcpDevice device(std::move(script));
        Prepare(file, device.Port());
        Upload();
        EXPECT_EQ(dlg.m_socket, nullptr);
        EXPECT_EQ(dlg.m_bBusy, 0);
        counters = device.Counters();
        return device.Finish();
    }

    TcpScript Echoing(const std::string& file)
    {
        TcpScript s;
        s.answer = [](const std::string& header) { return Echo(header); };
        s.dataBytes = file.size() - 32;
        return s;
    }

    std::vector<std::uint16_t> counters;
};

TEST_F(TcpUpload, NumberedFramesEachAcknowledged)
{
    const std::string file = Firmware(32 + 1024 + 1);
    const std::string received = UploadTo(file, Echoing(file));
    // Header, frame 0 with 1024 bytes, frame 1 with 1 byte.
    EXPECT_EQ(received, file.substr(0, 32) + std::string("\0\0", 2) + file.substr(32, 1024) + std::string("\1\0", 2) +
                            file.substr(32 + 1024));
    EXPECT_EQ(counters, (std::vector<std::uint16_t>{0, 1}));
    EXPECT_EQ(host.ProgressCalls(), (std::vector<std::string>{"range 0 1057", "pos 0", "pos 1056", "pos 1057", "pos 0"}));
    EXPECT_TRUE(Messages().empty());
    // 100 ms before the header answer and before each acknowledgement (a
    // loaded machine may need a second look at one of them).
    EXPECT_GE(sleeps.size(), 3u);
    EXPECT_LE(sleeps.size(), 5u);
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 100u), static_cast<long>(sleeps.size()));
}

class TcpStatus : public TcpUpload, public testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(TcpStatus, NonZeroStatusInTheEchoIsAHeaderError)
{
    const auto [b28, b29] = GetParam();
    const std::string file = Firmware(100);
    TcpScript s = Echoing(file);
    s.answer = [b28 = b28, b29 = b29](const std::string& header) {
        return Echo(header, static_cast<unsigned char>(b28), static_cast<unsigned char>(b29));
    };
    EXPECT_EQ(UploadTo(file, s), file.substr(0, 32));  // no data after the header
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

INSTANTIATE_TEST_SUITE_P(Bytes28And29, TcpStatus, testing::Values(std::pair{1, 0}, std::pair{0, 0x80}));

TEST_F(TcpUpload, WrongEchoIsAHeaderError)
{
    const std::string file = Firmware(100);
    TcpScript s = Echoing(file);
    s.answer = [](const std::string& header) {
        std::string wrong = header;
        wrong[15] = static_cast<char>(wrong[15] ^ 1);
        return std::vector<TcpScript::Piece>{{0ms, wrong}};
    };
    EXPECT_EQ(UploadTo(file, s), file.substr(0, 32));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
}

TEST_F(TcpUpload, AnswerInTwoPiecesIsDecidedByTheFirst)
{
    const std::string file = Firmware(100);
    TcpScript s = Echoing(file);
    s.answer = [](const std::string& header) {
        return std::vector<TcpScript::Piece>{{0ms, header.substr(0, 16)}, {300ms, header.substr(16)}};
    };
    EXPECT_EQ(UploadTo(file, s), file.substr(0, 32));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
}

TEST_F(TcpUpload, SilentDeviceAfterTheHeader)
{
    TcpScript s;
    s.answer = [](const std::string&) { return std::vector<TcpScript::Piece>{}; };
    UploadTo(Firmware(100), s);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
    EXPECT_EQ(sleeps, std::vector<unsigned>(26, 100));  // 26 receives, 100 ms apart
}

TEST_F(TcpUpload, ShortAcknowledgementDoesNotCount)
{
    const std::string file = Firmware(100);
    TcpScript s = Echoing(file);
    s.acknowledgement = "12345";
    UploadTo(file, s);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"receive response error")});
    EXPECT_EQ(sleeps.size(), 1u + 26u);
}

TEST_F(TcpUpload, LongAcknowledgementCountsForTheNextFrameToo)
{
    // 300 bytes: 256 acknowledge frame 0, the other 44 stay and acknowledge frame 1.
    const std::string file = Firmware(32 + 3 * 1024);
    TcpScript s = Echoing(file);
    s.acknowledgement = std::string(300, 'k');
    EXPECT_EQ(UploadTo(file, s).size(), 32u + 3 * 1026u);
    EXPECT_EQ(counters, (std::vector<std::uint16_t>{0, 1, 2}));
    EXPECT_TRUE(Messages().empty());
}

struct NoConnectionCase {
    const char* name;
    std::uint32_t address;
    bool listenerFull;  // else nobody listens
    std::string cause;
    std::chrono::milliseconds least, most;  // how long the attempt takes
};

using pyrrow::test::PrintTo;

class TcpNoConnection : public TcpUpload, public testing::WithParamInterface<NoConnectionCase> {};

TEST_P(TcpNoConnection, IsTold)
{
    const NoConnectionCase& c = GetParam();
    std::optional<FullListener> full;
    if (c.listenerFull)
        full.emplace();
    const std::uint16_t port = full ? full->Port() : UnusedLoopbackPort();
    Prepare(Firmware(100), port, c.address);
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    Upload();
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string address = c.address == 0 ? "0.0.0.0:" : "127.0.0.1:";
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "pyrrow: tcp: connect to " + address + std::to_string(port) + ": " + c.cause + "\n");
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se připojit k zařízení!")});
    EXPECT_TRUE(host.ProgressCalls().empty());
    EXPECT_EQ(dlg.m_socket, nullptr);
    EXPECT_GE(took, c.least);
    EXPECT_LT(took, c.most);
}

// Refused, a blank address field (0.0.0.0), and a listener that never
// answers: the one attempt ends after 3.5 s.
INSTANTIATE_TEST_SUITE_P(
    Cases, TcpNoConnection,
    testing::Values(NoConnectionCase{"Refused", 0x7F000001u, false, "Connection refused", 0ms, 3000ms},
                    NoConnectionCase{"BlankAddress", 0u, false, "0.0.0.0 names no device", 0ms, 3000ms},
                    NoConnectionCase{"NeverAnswered", 0x7F000001u, true,
                                     "Connection timed out (no connection within 3500 ms)", 3500ms, 5000ms}),
    [](const testing::TestParamInfo<NoConnectionCase>& p) { return p.param.name; });

TEST_F(TcpUpload, DeviceThatClosesAtOnce)
{
    TcpScript s;
    s.closeAtAccept = true;
    UploadTo(Firmware(100), s);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderTCP error")});
}

TEST_F(TcpUpload, DeviceThatResetsMidUpload)
{
    const std::string file = Firmware(32 + 10 * 1024);
    TcpScript s = Echoing(file);
    s.closeAfterFrames = 2;
    s.reset = true;
    UploadTo(file, s);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0] == UploadError(u"receive response error") || messages[0] == UploadError(u"send error"))
        << std::string(messages[0].text.begin(), messages[0].text.end());
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

TEST_F(TcpUpload, MissingFirmwareIsToldAndClosesTheConnection)
{
    TcpDevice device(TcpScript{});
    Prepare(Firmware(100), device.Port());
    dlg.m_strFirmwarePath = dir.File("missing.fw");
    Upload();
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se otevřít soubor s firmwarem!")});
    EXPECT_TRUE(host.ProgressCalls().empty());
    EXPECT_EQ(dlg.m_socket, nullptr);
    EXPECT_EQ(device.Finish(), "");
}

// The frame's counter is the block number's low 16 bits, low byte first;
// the real uploads above check the frames on the wire.
TEST(TcpFrame, CounterWrapsAtSixteenBits)
{
    struct Case {
        std::uint32_t block;
        unsigned char low, high;
    };
    const unsigned char data[] = {0xAA, 0xBB};
    for (const Case& c : {Case{0, 0x00, 0x00}, Case{1, 0x01, 0x00}, Case{0x1234, 0x34, 0x12}, Case{65535, 0xFF, 0xFF},
                          Case{65536, 0x00, 0x00}, Case{65537, 0x01, 0x00}, Case{0xFFFFFFFF, 0xFF, 0xFF}}) {
        SCOPED_TRACE(c.block);
        unsigned char frame[4] = {};
        pyrrow::upload::TcpLink::EncodeFrame(c.block, data, frame);
        EXPECT_EQ(frame[0], c.low);
        EXPECT_EQ(frame[1], c.high);
        EXPECT_EQ(frame[2], 0xAA);
        EXPECT_EQ(frame[3], 0xBB);
    }
}

}  // namespace
