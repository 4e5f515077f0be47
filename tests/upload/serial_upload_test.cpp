#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <termios.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/pty_device.h"

extern char** environ;

namespace {

using namespace pyrrow::test;
using namespace std::chrono_literals;

const std::string kAnswer(32, '\x5A');

class SerialUpload : public UploadTest {
protected:
    // Runs a whole serial upload of file to a device playing script.
    std::string UploadTo(const std::string& file, SerialScript script)
    {
        PtyDevice device(std::move(script));
        const std::u16string port(device.SlavePath().begin(), device.SlavePath().end());
        // The window keeps the port it had selected, present or not: a
        // second upload in one test must name this device's port again.
        dlg.m_comPort.Set(port.c_str());
        Init({port});
        UseFirmware(file);
        Upload();
        EXPECT_EQ(dlg.m_hComPort, nullptr);
        EXPECT_EQ(dlg.m_bBusy, 0);
        return device.Finish();
    }
};

struct SizeCase {
    std::size_t size;
    std::vector<std::string> progress;
    std::vector<unsigned> sleeps;
};

TEST_F(SerialUpload, SendsHeaderThenBlocksAndReportsEachStep)
{
    const SizeCase cases[] = {
        {32, {"range 0 32", "pos 0", "pos 0"}, {100}},
        {33, {"range 0 33", "pos 0", "pos 33", "pos 0"}, {100, 10}},
        {32 + 256 + 1, {"range 0 289", "pos 0", "pos 288", "pos 289", "pos 0"}, {100, 10, 10}},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.size);
        TestHost fresh;
        dlg.AttachHost(&fresh);
        sleeps.clear();
        taskbar.clear();
        const std::string file = Firmware(c.size);
        PtyDevice device(SerialScript{{{0ms, kAnswer}}});
        // The port starts on another line, which the upload must set right.
        termios other = device.Line();
        ::cfsetspeed(&other, B9600);
        other.c_cflag = (other.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7 | PARENB | CRTSCTS;
        other.c_iflag |= IXOFF;
        device.SetLine(other);
        const std::u16string port(device.SlavePath().begin(), device.SlavePath().end());
        Init({port});
        UseFirmware(file);
        Upload();
        EXPECT_EQ(device.Finish(), file);  // byte for byte, header first
        const termios& line = device.LineAtHeader();
        EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B115200));
        EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B115200));
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CRTSCTS), static_cast<tcflag_t>(CS8));
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u);
        EXPECT_EQ(fresh.ProgressCalls(), c.progress);
        EXPECT_EQ(sleeps, c.sleeps);
        EXPECT_TRUE(fresh.MessageBoxes().empty());
        EXPECT_EQ(dlg.m_hComPort, nullptr);
        EXPECT_EQ(taskbar.front(), "state 2");
        EXPECT_EQ(taskbar.back(), "state 0");
        dlg.AttachHost(&host);
    }
}

TEST_F(SerialUpload, TaskbarFollowsTheBar)
{
    UploadTo(Firmware(32 + 256 + 1), SerialScript{{{0ms, kAnswer}}});
    EXPECT_EQ(taskbar, (std::vector<std::string>{"state 2", "value 0 289", "value 288 289", "value 289 289", "state 0"}));
}

TEST_F(SerialUpload, WrongLengthAnswersAreRejectedAndReadAgain)
{
    for (const std::string& wrong : {std::string(31, 'a'), std::string(33, 'b')}) {
        SCOPED_TRACE(wrong.size());
        // A wrong answer, then after a pause the right one: the second read takes it.
        const std::string file = Firmware(40);
        EXPECT_EQ(UploadTo(file, SerialScript{{{0ms, wrong}, {500ms, kAnswer}}}), file);
        EXPECT_TRUE(Messages().empty());
    }
}

TEST_F(SerialUpload, DeviceThatOnlyAnswersWithTheWrongLengthGetsNoData)
{
    std::size_t failures = 0;
    for (const std::size_t length : {31u, 33u}) {
        SCOPED_TRACE(length);
        // One wrong answer for each of the five reads.
        SerialScript script;
        for (int i = 0; i < 5; ++i)
            script.answer.push_back({i == 0 ? 0ms : 60ms, std::string(length, 'w')});
        dlg.m_serialTiming.timeouts.readTotalConstant = 300;
        dlg.m_serialTiming.timeouts.readTotalMultiplier = 0;
        const std::string file = Firmware(300);
        EXPECT_EQ(UploadTo(file, script), file.substr(0, 32));
        ASSERT_EQ(Messages().size(), ++failures);
        EXPECT_EQ(Messages().back(), UploadError(u"HeaderCOM error"));
    }
}

TEST_F(SerialUpload, AnswerInTwoPiecesIsTwoWrongAnswers)
{
    const std::string file = Firmware(40);
    const std::string received =
        UploadTo(file, SerialScript{{{0ms, kAnswer.substr(0, 16)}, {60ms, kAnswer.substr(16)}, {200ms, kAnswer}}});
    EXPECT_EQ(received, file);  // the third read got a whole answer
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SerialUpload, SilentDeviceGivesHeaderErrorAfterFiveReads)
{
    // The protocol's time-outs: 5 ms between bytes, 11 ms a byte + 1000 ms
    // for a read, 250 ms a byte + 3000 ms for a write; 100 ms after the
    // header, 10 ms after a block, five reads for the answer.
    const pyrrow::upload::SerialTiming& timing = dlg.m_serialTiming;
    EXPECT_EQ((std::vector<unsigned>{timing.timeouts.readInterval, timing.timeouts.readTotalMultiplier,
                                     timing.timeouts.readTotalConstant, timing.timeouts.writeTotalMultiplier,
                                     timing.timeouts.writeTotalConstant, timing.pauseAfterHeader,
                                     timing.pauseAfterBlock, timing.answerAttempts}),
              (std::vector<unsigned>{5, 11, 1000, 250, 3000, 100, 10, 5}));
    // Each read waits its whole total time-out (shortened here) and no
    // longer; an answer in the time of a sixth read comes too late, and 32
    // bytes the unit sent before the header (its boot text) are none.
    dlg.m_serialTiming.timeouts.readTotalConstant = 200;
    dlg.m_serialTiming.timeouts.readTotalMultiplier = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::string received =
        UploadTo(Firmware(300), SerialScript{.answer = {{5 * 200ms + 100ms, kAnswer}}, .banner = std::string(32, 'B')});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(received, Firmware(32));  // no data after a failed header
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderCOM error")});
    EXPECT_GE(took, 5 * 200ms);
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

TEST_F(SerialUpload, ShortFileIsAHeaderFailure)
{
    UploadTo(Firmware(20), SerialScript{{{0ms, kAnswer}}});
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"HeaderCOM error")});
}

TEST_F(SerialUpload, DeviceGoneMidUploadGivesWriteError)
{
    const std::string received = UploadTo(Firmware(32 + 256 * 2000), SerialScript{{{0ms, kAnswer}}, 512});  // more than the pty holds
    EXPECT_GE(received.size(), 32u + 512u);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Write error")});
    EXPECT_EQ(host.ProgressCalls().back(), "pos 0");
}

TEST_F(SerialUpload, MissingFirmwareIsToldAndMakesNoProgress)
{
    PtyDevice device(SerialScript{});
    Init({std::u16string(device.SlavePath().begin(), device.SlavePath().end())});
    dlg.m_strFirmwarePath = dir.File("missing.fw");
    Upload();
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se otevřít soubor s firmwarem!")});
    EXPECT_TRUE(host.ProgressCalls().empty());
    EXPECT_EQ(device.Finish(), "");
    EXPECT_EQ(dlg.m_hComPort, nullptr);
}

TEST_F(SerialUpload, PortThatCannotOpen)
{
    struct Case {
        std::vector<std::u16string> list;
        bool select;
    };
    // No selection (an empty list gets the fallback names, so clear it), and a
    // port that is not there.
    Init({u"/nonexistent/ttyUSB9"});
    Upload();
    host.SetListItems(IDC_COM_PORT, {}, -1);
    Upload();
    EXPECT_EQ(Messages(), (std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se připojit ke zvolenému portu!"),
                                                       UploadError(u"Nepodařilo se připojit ke zvolenému portu!")}));
    EXPECT_TRUE(host.ProgressCalls().empty());
}

TEST_F(SerialUpload, PortHeldByAnotherProgramIsNotOpened)
{
    PtyDevice device(SerialScript{});
    const int held = ::open(device.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    Init({std::u16string(device.SlavePath().begin(), device.SlavePath().end())});
    dlg.m_strFirmwarePath = u"/nonexistent.fw";
    Upload();
    ::close(held);
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se připojit ke zvolenému portu!")});
}

// The window's messages stay as they are; the cause goes to standard error
// with what was tried on what.
TEST_F(SerialUpload, FailuresWriteTheirCauseToStandardError)
{
    WriteBytes(dir.path() / "plain.txt", "not a tty");
    PtyDevice device(SerialScript{});
    // A port another program merely has open (a terminal left running).
    PtyDevice held(SerialScript{});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, held.SlavePath().c_str(), O_RDWR | O_NOCTTY, 0);
    pid_t holder = -1;
    char sleep[] = "sleep", seconds[] = "60";
    char* argv[] = {sleep, seconds, nullptr};
    ASSERT_EQ(::posix_spawnp(&holder, "sleep", &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    const std::string plain = (dir.path() / "plain.txt").string();
    const std::string missing = (dir.path() / "missing.fw").string();
    struct Case {
        std::string port;
        std::string firmware;
        std::string line;
    };
    const Case cases[] = {
        {"/nonexistent/ttyX", missing, "pyrrow: serial: open /nonexistent/ttyX: No such file or directory\n"},
        {plain, missing, "pyrrow: serial: open " + plain + ": Inappropriate ioctl for device (not a serial port)\n"},
        {device.SlavePath(), missing,
         "pyrrow: serial: open the firmware file " + missing + ": No such file or directory\n"},
        {held.SlavePath(), missing,
         "pyrrow: serial: open " + held.SlavePath() + ": Device or resource busy (pid " + std::to_string(holder) +
             " (sleep), which has it open)\n"},
    };
    Init({u"ttyS0"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        host.SetListItems(IDC_COM_PORT, {std::u16string(c.port.begin(), c.port.end())}, 0);
        dlg.m_strFirmwarePath = std::u16string(c.firmware.begin(), c.firmware.end());
        testing::internal::CaptureStderr();
        Upload();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(Messages(), (std::vector<MessageBoxCall>{UploadError(u"Nepodařilo se připojit ke zvolenému portu!"),
                                                       UploadError(u"Nepodařilo se připojit ke zvolenému portu!"),
                                                       UploadError(u"Nepodařilo se otevřít soubor s firmwarem!"),
                                                       UploadError(u"Nepodařilo se připojit ke zvolenému portu!")}));
    EXPECT_EQ(held.Finish(), "");  // nothing was sent
}

}  // namespace
