// The simulator's faults as the wire shows them: a plain client plays the
// program against pyrrow-sim and looks at every byte that comes back, and at
// the verdict of --once.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dialog_fixture.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using pyrrow::test::SimProcess;

// What came back after one message of the client.
struct Answer {
    std::vector<std::string> pieces;  // one per receive
    std::chrono::milliseconds first{-1};
    bool closed = false;
    bool reset = false;

    std::string Bytes() const
    {
        std::string all;
        for (const auto& p : pieces)
            all += p;
        return all;
    }
};

// Collects what fd gives within window after a message, stopping early once
// expected bytes came.
Answer Collect(int fd, std::size_t expected, std::chrono::milliseconds window)
{
    Answer a;
    const auto start = Clock::now();
    std::size_t got = 0;
    while (got < expected) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(start + window - Clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[2048];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            a.reset = n < 0 && errno == ECONNRESET;
            a.closed = n == 0 || errno == EIO;
            break;
        }
        if (a.pieces.empty())
            a.first = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        a.pieces.emplace_back(buffer, static_cast<std::size_t>(n));
        got += static_cast<std::size_t>(n);
    }
    return a;
}

// The firmware of every case: a header and frames of 1024, 1024 and 5 bytes.
const std::string kFile = pyrrow::test::Firmware(32 + 1024 + 1024 + 5);

std::string Frame(std::uint16_t counter, std::size_t offset, std::size_t size)
{
    return std::string{static_cast<char>(counter & 0xFF), static_cast<char>(counter >> 8)} + kFile.substr(offset, size);
}

// Plays one TCP upload: the header, then each frame after the answer to the
// one before; stops when the unit ends the connection.
std::vector<Answer> TcpUpload(std::uint16_t port, bool* connected)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    *connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::vector<Answer> answers;
    const std::string messages[] = {kFile.substr(0, 32), Frame(0, 32, 1024), Frame(1, 1056, 1024), Frame(2, 2080, 5)};
    for (const std::string& m : messages) {
        if (!*connected || ::send(fd, m.data(), m.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(m.size()))
            break;
        answers.push_back(Collect(fd, m.size() == 32 ? 32 : 6, 400ms));
        if (answers.back().closed || answers.back().reset)
            break;
    }
    ::close(fd);
    return answers;
}

std::string Echo(unsigned char status28 = 0, unsigned char status29 = 0)
{
    std::string echo = kFile.substr(0, 32);
    echo[28] = static_cast<char>(status28);
    echo[29] = static_cast<char>(status29);
    return echo;
}

struct TcpCase {
    const char* name;
    std::vector<std::string> args;  // faults and other options
    std::function<void(const std::vector<Answer>&)> check;
    int onceExit;       // the verdict of --once
    bool stop = false;  // a unit stays without an upload: stop the simulator
};

void PrintTo(const TcpCase& c, std::ostream* os)
{
    *os << c.name;
}

class TcpFault : public testing::TestWithParam<TcpCase> {};

TEST_P(TcpFault, ShowsOnTheWire)
{
    const TcpCase& c = GetParam();
    std::vector<std::string> args{"tcp", "--listen", "127.0.0.1:0", "--once"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SimProcess sim(args);
    const std::uint16_t port = sim.ReadPort();
    ASSERT_NE(port, 0);
    bool connected = false;
    const std::vector<Answer> answers = TcpUpload(port, &connected);
    if (std::string(c.name) == "Busy") {
        EXPECT_FALSE(connected);  // refused
    } else {
        ASSERT_TRUE(connected);
        c.check(answers);
    }
    if (c.stop)
        sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), c.onceExit) << sim.Errors();
}

const std::string kAck0("\0\0\0\0\0\0", 6);

INSTANTIATE_TEST_SUITE_P(
    Faults, TcpFault,
    testing::Values(
        TcpCase{"None", {},
                [](const auto& a) {
                    ASSERT_EQ(a.size(), 4u);
                    EXPECT_EQ(a[0].Bytes(), Echo());
                    EXPECT_EQ(a[1].Bytes(), kAck0);
                    EXPECT_EQ(a[3].Bytes().size(), 6u);
                },
                0},
        TcpCase{"Status", {"--fault", "header:status=258"}, [](const auto& a) { EXPECT_EQ(a[0].Bytes(), Echo(1, 2)); }, 1},
        TcpCase{"WrongEcho", {"--fault", "header:wrong-echo"},
                [](const auto& a) {
                    const std::string got = a[0].Bytes();
                    ASSERT_EQ(got.size(), 32u);
                    EXPECT_EQ(got.substr(0, 15), kFile.substr(0, 15));
                    EXPECT_NE(got[15], kFile[15]);
                },
                1},
        TcpCase{"Split", {"--fault", "header:split"},
                [](const auto& a) {
                    ASSERT_EQ(a[0].pieces.size(), 2u);
                    EXPECT_EQ(a[0].pieces[0], Echo().substr(0, 16));
                    EXPECT_EQ(a[0].pieces[1], Echo().substr(16));
                },
                1},
        TcpCase{"Length", {"--fault", "header:length=40"},
                [](const auto& a) { EXPECT_EQ(a[0].Bytes(), Echo() + std::string(8, '\0')); }, 1},
        TcpCase{"Silent", {"--fault", "header:silent"}, [](const auto& a) { EXPECT_TRUE(a[0].pieces.empty()); }, 1},
        TcpCase{"ShortAck", {"--fault", "ack:short@frame=1"},
                [](const auto& a) {
                    EXPECT_EQ(a[1].Bytes().size(), 6u);
                    EXPECT_EQ(a[2].Bytes().size(), 5u);
                },
                1},
        TcpCase{"DroppedAck", {"--fault", "ack:drop@frame=0"}, [](const auto& a) { EXPECT_TRUE(a[1].pieces.empty()); }, 1},
        TcpCase{"DelayedAck", {"--fault", "ack:delay=250@frame=0"},
                [](const auto& a) {
                    EXPECT_GE(a[1].first, 250ms);
                    EXPECT_EQ(a[1].Bytes(), kAck0);
                },
                0},
        TcpCase{"Reset", {"--fault", "link:reset@frame=1"},
                [](const auto& a) {
                    ASSERT_EQ(a.size(), 3u);
                    EXPECT_TRUE(a[2].reset);
                },
                1},
        TcpCase{"Close", {"--fault", "link:close@bytes=40"},
                [](const auto& a) {
                    ASSERT_EQ(a.size(), 2u);
                    EXPECT_EQ(a[0].Bytes(), Echo());
                    EXPECT_TRUE(a[1].closed);
                },
                1},
        TcpCase{"Slow", {"--fault", "slow=2"},
                [](const auto& a) {
                    EXPECT_GE(a[0].first, 200ms);
                    EXPECT_EQ(a[0].Bytes(), Echo());
                },
                0},
        TcpCase{"Busy", {"--fault", "busy"}, [](const auto&) {}, 1, true},
        // Only the unit named does it.
        TcpCase{"OtherUnit", {"--fault", "header:silent@unit=2", "--count", "2"},
                [](const auto& a) { EXPECT_EQ(a[0].Bytes(), Echo()); }, 1, true}),
    [](const testing::TestParamInfo<TcpCase>& i) { return std::string(i.param.name); });

// The serial unit: the client opens the pseudo-terminal as the program would.
class SerialFault : public testing::Test {
protected:
    int Open(SimProcess& sim)
    {
        path = sim.ReadLine();
        const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << path;
        return fd;
    }

    pyrrow::test::TempDir dir;
    std::string link = (dir.path() / "port").string();
    std::string path;
};

TEST_F(SerialFault, AnswerOfTheWrongLength)
{
    SimProcess sim({"serial", "--link", link, "--once", "--fault", "header:length=31"});
    const int fd = Open(sim);
    ASSERT_EQ(::write(fd, kFile.data(), 32), 32);
    EXPECT_EQ(Collect(fd, 32, 400ms).Bytes(), Echo().substr(0, 31));
    ::close(fd);
    EXPECT_EQ(sim.Wait(), 1);
}

TEST_F(SerialFault, PortGoesAwayAfterTheBytesGiven)
{
    SimProcess sim({"serial", "--link", link, "--once", "--fault", "link:hangup@bytes=40"});
    const int fd = Open(sim);
    ASSERT_EQ(::write(fd, kFile.data(), 32), 32);
    EXPECT_EQ(Collect(fd, 32, 400ms).Bytes(), Echo());
    ASSERT_EQ(::write(fd, kFile.data() + 32, 8), 8);
    EXPECT_TRUE(Collect(fd, 1, 2000ms).closed);  // EIO: the pseudo-terminal is gone
    ::close(fd);
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST_F(SerialFault, BusyPortIsLockedAndExclusive)
{
    SimProcess sim({"serial", "--link", link, "--fault", "busy"});
    const int fd = Open(sim);
    // Even root, whom the exclusive mark does not stop, finds the lock.
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

}  // namespace
