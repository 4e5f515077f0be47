// The simulator as the wire shows it: a plain client plays the program
// against pyrrow-sim and looks at every byte that comes back, at the
// verdict of --once and --expect, at what is stored, and at units that wait,
// time out, and come and go.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "console/text.h"
#include "support/dialog_fixture.h"
#include "support/named_row.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using namespace pyrrow::test;

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

// How the client plays an upload, when not as the program does.
struct Play {
    std::size_t messages = 4;       // of the four: fewer, a program stopped on the way
    std::chrono::milliseconds pieces{0};  // each message in two pieces this far apart
    bool emptyFrame = false;        // a frame of its counter alone after the last
    bool reset = false;             // the end is a reset, as a stopped pyrrow-cli makes it
    std::function<void()> answered = {};  // called once the header is answered
};

// Plays one TCP upload: the header, then each frame after the answer to the
// one before; stops when the unit ends the connection, or after the
// messages of play.
std::vector<Answer> TcpUpload(std::uint16_t port, bool* connected, const Play& play = {})
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    *connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    std::vector<Answer> answers;
    std::vector<std::string> all = {kFile.substr(0, 32), Frame(0, 32, 1024), Frame(1, 1056, 1024),
                                    Frame(2, 2080, 5)};
    all.resize(play.messages);
    if (play.emptyFrame)
        all.push_back(Frame(3, 0, 0));
    for (const std::string& m : all) {
        const std::size_t first = play.pieces.count() > 0 ? m.size() / 2 : m.size();
        bool sent = *connected && ::send(fd, m.data(), first, MSG_NOSIGNAL) == static_cast<ssize_t>(first);
        if (sent && first < m.size()) {
            std::this_thread::sleep_for(play.pieces);
            sent = ::send(fd, m.data() + first, m.size() - first, MSG_NOSIGNAL) == static_cast<ssize_t>(m.size() - first);
        }
        if (!sent)
            break;
        answers.push_back(Collect(fd, m.size() == 32 ? 32 : 6, 400ms));
        if (answers.back().closed || answers.back().reset)
            break;
        if (answers.size() == 1 && play.answered)
            play.answered();
    }
    if (play.reset) {
        const linger cut{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &cut, sizeof cut);
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

using pyrrow::test::PrintTo;

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

// --line-rate takes the bytes no faster than 115200 bit/s 8N1 carry them, a
// few at a time: each read leaves the rest waiting, and it must still come.
TEST_F(SerialFault, LineRateTakesAllThatWaitsAtTheLinesPace)
{
    SimProcess sim({"serial", "--link", link, "--once", "--line-rate", "--json"});
    const int fd = Open(sim);
    ASSERT_EQ(::write(fd, kFile.data(), 32), 32);
    EXPECT_EQ(Collect(fd, 32, 400ms).Bytes(), Echo());
    const auto start = Clock::now();
    const auto rest = static_cast<ssize_t>(kFile.size() - 32);  // about 180 ms on the line
    ASSERT_EQ(::write(fd, kFile.data() + 32, static_cast<std::size_t>(rest)), rest);
    ::close(fd);
    EXPECT_EQ(sim.Wait(5s), 0) << sim.Errors();
    EXPECT_GE(Clock::now() - start, 150ms);
    EXPECT_EQ(nlohmann::json::parse(sim.Output())["units"][0]["uploads"][0]["bytes"], kFile.size());
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

// A program that opens the port again at once, before the unit has read
// what it wrote before its close, starts a new upload: five are five.
TEST_F(SerialFault, UploadsBackToBackAreEachTheirOwn)
{
    SimProcess sim({"serial", "--link", link, "--json"});
    EXPECT_FALSE(sim.ReadLine().empty());
    for (int upload = 1; upload <= 5; ++upload) {
        SCOPED_TRACE(upload);
        const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, kFile.data(), 32), 32);
        EXPECT_EQ(Collect(fd, 32, 2000ms).Bytes(), Echo());
        ASSERT_EQ(::write(fd, kFile.data() + 32, kFile.size() - 32), static_cast<ssize_t>(kFile.size() - 32));
        ::close(fd);
    }
    const std::string line = "upload ended after 2085 bytes in 9 frames: ended by a close; without --expect the "
                             "simulator cannot tell whether the image was whole";
    EXPECT_TRUE(sim.AwaitError(line, 5)) << sim.Errors();
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
    const auto uploads = nlohmann::json::parse(sim.Output())["units"][0]["uploads"];
    EXPECT_EQ(uploads.size(), 5u) << uploads;
    for (const auto& upload : uploads)
        EXPECT_TRUE(upload["clean_end"]) << upload;
}

// What the unit saw, said as it was: a cut upload ends as a whole one does
// (the program closes the link), so only --expect tells them apart.
struct ExpectCase {
    const char* name;
    std::size_t messages;  // of the client's four
    std::string expected;  // the --expect file
    int onceExit;
    std::string says;
};

TEST(SimExpect, SaysWhetherExactlyThatImageArrived)
{
    std::string changed = kFile;
    changed[40] = static_cast<char>(changed[40] ^ 1);
    const ExpectCase cases[] = {
        {"whole", 4, kFile, 0, "upload ended after 2085 bytes in 3 frames: the program closed the link"},
        {"whole", 4, kFile, 0, "; it is the expected image"},
        {"cut", 3, kFile, 1, "upload ended after 2080 bytes in 2 frames: the program closed the link"},
        {"cut", 3, kFile, 1, "; it is NOT the expected image"},
        {"changed", 4, changed, 1, "(2085 bytes of"},
        {"changed", 4, changed, 1, "'s 2085, differing from byte 40 on)"},
    };
    for (const ExpectCase& c : cases) {
        SCOPED_TRACE(c.name + (": " + c.says));
        pyrrow::test::TempDir dir;
        pyrrow::test::WriteBytes(dir.path() / "expected.fw", c.expected);
        SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--json", "--expect",
                        (dir.path() / "expected.fw").string()});
        bool connected = false;
        TcpUpload(sim.ReadPort(), &connected, {.messages = c.messages});
        EXPECT_TRUE(connected);
        EXPECT_EQ(sim.Wait(), c.onceExit);
        EXPECT_NE(sim.Errors().find(c.says), std::string::npos) << sim.Errors();
        EXPECT_EQ(sim.Errors().find("complete"), std::string::npos) << sim.Errors();
        const auto upload = nlohmann::json::parse(sim.Output())["units"][0]["uploads"][0];
        EXPECT_EQ(upload["expected"], c.onceExit == 0);
        EXPECT_TRUE(upload["clean_end"]);
    }
}

// An upload that did not end in order is exit code 1 whether or not the run
// is judged (--once, --expect), and its line says why; a frame is found by
// its length however slowly its pieces come.
struct VerdictCase {
    const char* name;
    // How the upload is played (a Play without its callback, which an
    // optimising compiler cannot follow through a table of constants).
    struct {
        std::size_t messages = 4;
        std::chrono::milliseconds pieces{0};
        bool emptyFrame = false;
        bool reset = false;
    } play;
    std::vector<std::string> args;  // "expect" stands for --expect and the file
    int exit;
    std::string says;
    std::string never;
};

TEST(SimVerdict, SaysWhyAnUploadIsNotInOrderAndEndsWith1)
{
    pyrrow::test::TempDir dir;
    const std::string expected = (dir.path() / "expected.fw").string();
    pyrrow::test::WriteBytes(expected, kFile);
    const VerdictCase cases[] = {
        {"reset", {.messages = 2, .reset = true}, {"--once"}, 1, ": the program reset the connection;", ""},
        {"reset, not judged", {.messages = 2, .reset = true}, {}, 1, "it did not end in order", ""},
        {"a frame of no data after the last", {.emptyFrame = true}, {"--once", "expect"}, 1,
         "it did not end in order: a frame after the last (frame 3) carries no data", "it is the expected image"},
        {"frames in two pieces 60 ms apart", {.pieces = 60ms}, {"--once", "expect"}, 0,
         "upload ended after 2085 bytes in 3 frames: the program closed the link; SHA-256", "in order"},
    };
    for (const VerdictCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"tcp", "--listen", "127.0.0.1:0"};
        for (const std::string& a : c.args) {
            if (a == "expect")
                args.insert(args.end(), {"--expect", expected});
            else
                args.push_back(a);
        }
        SimProcess sim(args);
        bool connected = false;
        TcpUpload(sim.ReadPort(), &connected,
                  {.messages = c.play.messages, .pieces = c.play.pieces, .emptyFrame = c.play.emptyFrame,
                   .reset = c.play.reset});
        EXPECT_TRUE(connected);
        if (c.args.empty()) {
            ASSERT_TRUE(sim.AwaitError("upload ended")) << sim.Errors();
            sim.Signal(SIGTERM);
        }
        EXPECT_EQ(sim.Wait(), c.exit) << sim.Errors();
        EXPECT_NE(sim.Errors().find(c.says), std::string::npos) << sim.Errors();
        if (!c.never.empty()) {
            EXPECT_EQ(sim.Errors().find(c.never), std::string::npos) << sim.Errors();
        }
    }
}

// Two simulators store into one folder where the names of the coming
// seconds are taken already: each image gets a name of its own, and no
// file that was there is touched.
TEST(SimStore, NeverOverAFileAndNothingLostBetweenTwoSimulators)
{
    pyrrow::test::TempDir dir;
    const auto now = std::chrono::system_clock::now();
    constexpr int kTaken = 8000;  // ms
    for (int ms = 0; ms < kTaken; ++ms)
        pyrrow::test::WriteBytes(
            dir.path() / ("tcp-1_" + pyrrow::console::UtcFileText(now + std::chrono::milliseconds(ms)) + ".fw"), "taken");
    const std::vector<std::string> args{"tcp", "--listen", "127.0.0.1:0", "--once", "--store", dir.path().string()};
    SimProcess a(args);
    SimProcess b(args);
    const std::uint16_t portA = a.ReadPort();
    const std::uint16_t portB = b.ReadPort();
    bool connectedA = false;
    bool connectedB = false;
    std::thread other([&] { TcpUpload(portA, &connectedA); });
    TcpUpload(portB, &connectedB);
    other.join();
    EXPECT_EQ(a.Wait(), 0) << a.Errors();
    EXPECT_EQ(b.Wait(), 0) << b.Errors();
    const std::vector<std::string> files = pyrrow::test::StoredImages(dir.path());
    EXPECT_EQ(std::count(files.begin(), files.end(), "taken"), kTaken);
    EXPECT_EQ(std::count(files.begin(), files.end(), kFile), 2);
    EXPECT_EQ(files.size(), kTaken + 2u);
}

// A store and a trace on a disk that fills during the upload: the image
// that does not fit leaves no part of itself behind, the trace keeps its
// whole lines, and the run ends with code 3 and the reasons.
TEST(SimStore, FullDiskLeavesNoPartialImageOrLineAndEndsWithCode3)
{
    pyrrow::test::TempDir dir;
    const std::filesystem::path store = dir.path() / "store";
    std::filesystem::create_directory(store);
    if (::mount("tmpfs", store.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    struct Unmount {
        const std::filesystem::path& path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{store};
    const std::filesystem::path trace = store / "trace";
    SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--json", "--store", store.string(), "--trace",
                    trace.string()});
    bool connected = false;
    // The trace has its first lines on the disk; then the disk is full.
    TcpUpload(sim.ReadPort(), &connected, {.answered = [&store] {
                  std::ofstream filler(store / "filler", std::ios::binary);
                  const std::string block(4096, 'x');
                  while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
                  }
              }});
    EXPECT_EQ(sim.Wait(), 3);
    EXPECT_NE(sim.Errors().find("No space left on device; the partial file was removed"), std::string::npos)
        << sim.Errors();
    EXPECT_NE(sim.Errors().find("No space left on device; it ends with the line before"), std::string::npos)
        << sim.Errors();
    const std::string lines = pyrrow::test::ReadBytes(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), '\n');
    for (std::size_t begin = 0, end; (end = lines.find('\n', begin)) != std::string::npos; begin = end + 1)
        EXPECT_TRUE(nlohmann::json::accept(lines.substr(begin, end - begin))) << lines.substr(begin, 80);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(store))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"filler", "trace"}));
    const auto summary = nlohmann::json::parse(sim.Output());
    EXPECT_TRUE(summary["units"][0]["uploads"][0]["stored"].is_null());
    EXPECT_TRUE(summary["units"][0]["uploads"][0]["store_error"].is_string());
    EXPECT_EQ(summary["exit_code"], 3);
}

// A client that connects and sends nothing is closed after the idle
// time-out; one that comes meanwhile waits its turn and is then served.
TEST(SimTcp, IdleClientIsClosedAndTheNextWaitsItsTurn)
{
    SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--idle-timeout", "0.3"});
    const std::uint16_t port = sim.ReadPort();
    auto connect = [port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const int idle = connect();
    std::this_thread::sleep_for(50ms);  // the first in line
    const int next = connect();
    ASSERT_EQ(::send(next, kFile.data(), 32, MSG_NOSIGNAL), 32);
    const Answer answer = Collect(next, 32, 3000ms);
    EXPECT_EQ(answer.Bytes(), Echo());
    EXPECT_GE(answer.first, 200ms);  // it waited for the idle one to go
    EXPECT_TRUE(Collect(idle, 1, 1000ms).closed);
    ::close(idle);
    ::close(next);
    EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
    EXPECT_NE(sim.Errors().find("upload ended after 32 bytes"), std::string::npos) << sim.Errors();
}

// True when something accepts connections on the port within timeout, or
// (refused) when nothing does.
bool Accepts(std::uint16_t port, bool wanted, std::chrono::milliseconds timeout)
{
    const auto end = Clock::now() + timeout;
    do {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const bool accepted = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (accepted == wanted)
            return true;
        std::this_thread::sleep_for(20ms);
    } while (Clock::now() < end);
    return false;
}

// A production line: after each upload the unit goes away (its port
// refuses connections, its serial link is gone) and after the gap the next
// takes its place, until the count is reached. A fault of @unit=N is the
// N-th unit's alone.
TEST(SimUnits, ComeAndGoAfterEachUpload)
{
    pyrrow::test::TempDir dir;
    const std::string expected = (dir.path() / "expected.fw").string();
    pyrrow::test::WriteBytes(expected, kFile);
    {
        SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--units", "3", "--gap", "0.4", "--expect", expected,
                        "--fault", "slow=1@unit=2", "--json"});
        const std::uint16_t port = sim.ReadPort();
        for (int unit = 1; unit <= 3; ++unit) {
            SCOPED_TRACE(unit);
            bool connected = false;
            const auto answers = TcpUpload(port, &connected);
            ASSERT_TRUE(connected);
            EXPECT_EQ(answers.size(), 4u);
            if (unit < 3) {
                EXPECT_TRUE(Accepts(port, false, 1000ms));  // gone
                EXPECT_EQ(sim.ReadPort(), port);            // the next one is there
            }
        }
        EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
        const auto uploads = nlohmann::json::parse(sim.Output())["units"][0]["uploads"];
        ASSERT_EQ(uploads.size(), 3u);
        EXPECT_EQ(uploads[2]["arrival"], 3);
        EXPECT_TRUE(uploads[2]["expected"]);
        for (std::size_t unit = 1; unit <= 3; ++unit)
            EXPECT_EQ(uploads[unit - 1]["faults"].size(), unit == 2 ? 1u : 0u) << uploads;
    }
    const std::filesystem::path link = dir.path() / "port";
    SimProcess sim({"serial", "--link", link.string(), "--units", "2", "--gap", "0.4", "--expect", expected, "--fault",
                    "header:length=31@unit=2"});
    EXPECT_FALSE(sim.ReadLine().empty());
    for (int unit = 1; unit <= 2; ++unit) {
        SCOPED_TRACE(unit);
        if (unit == 2) {
            EXPECT_FALSE(sim.ReadLine().empty());  // the next one is there
        }
        const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, kFile.data(), 32), 32);
        EXPECT_EQ(Collect(fd, 32, 1000ms).Bytes(), unit == 2 ? Echo().substr(0, 31) : Echo());
        ASSERT_EQ(::write(fd, kFile.data() + 32, kFile.size() - 32), static_cast<ssize_t>(kFile.size() - 32));
        ::close(fd);
        if (unit == 1) {
            const auto end = Clock::now() + 1000ms;
            while (std::filesystem::exists(std::filesystem::symlink_status(link)) && Clock::now() < end)
                std::this_thread::sleep_for(20ms);
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));  // gone
        }
    }
    EXPECT_EQ(sim.Wait(), 1) << sim.Errors();  // the second upload met its fault
}

}  // namespace
