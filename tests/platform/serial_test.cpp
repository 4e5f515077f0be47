#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial/serial.h"
#include "platform/serial/serial_access.h"
#include "support/pty_device.h"

namespace {

using namespace std::chrono_literals;
using pyrrow::platform::SerialDevicePath;
using namespace pyrrow::test;
using Clock = std::chrono::steady_clock;

TEST(SerialDevicePath, NamesMapToDevices)
{
    // Names are the system's bytes, UTF-8 or not.
    const std::pair<std::string, std::string> cases[] = {
        {"ttyUSB0", "/dev/ttyUSB0"},       {"/dev/pts/3", "/dev/pts/3"}, {"COM1", "/dev/ttyS0"},
        {"COM10", "/dev/ttyS9"},           {"com3", "/dev/ttyS2"},       {"COM0", "/dev/COM0"},
        {"COMX", "/dev/COMX"},             {"", ""},                     {"serial/by-id/x", "/dev/serial/by-id/x"},
        {"ttyACM\xC3\xA9", "/dev/ttyACM\xC3\xA9"}, {"tty\xE9\xFF", "/dev/tty\xE9\xFF"},
    };
    for (const auto& [name, path] : cases)
        EXPECT_EQ(SerialDevicePath(name), path);
}

// A port on a fresh pseudo-terminal whose master the test drives itself.
class SerialPort : public testing::Test {
protected:
    SerialPort() : device(SerialScript{{}, -1, true})
    {
        port = pyrrow::platform::OpenSerial(device.SlavePath());
    }
    ~SerialPort() override { pyrrow::platform::CloseSerial(port); }

    PtyDevice device;
    pyrrow::platform::SerialHandle port = nullptr;
};

TEST_F(SerialPort, OpensAPseudoTerminalAndSetsTheLine)
{
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(pyrrow::platform::ConfigureSerial(port, 115200));
    EXPECT_FALSE(pyrrow::platform::ConfigureSerial(port, 12345));
    // Opened for us alone: a second open fails.
    auto second = pyrrow::platform::OpenSerial(device.SlavePath());
    EXPECT_EQ(second, nullptr);
    pyrrow::platform::CloseSerial(second);
}

TEST_F(SerialPort, ReadWithoutAnyByteEndsAtTheTotalTimeOut)
{
    ASSERT_NE(port, nullptr);
    pyrrow::platform::SetSerialTimeouts(port, {5, 1, 100, 0, 0});
    char buffer[50];
    std::size_t read = 99;
    const auto start = Clock::now();
    EXPECT_TRUE(pyrrow::platform::ReadSerial(port, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u);
    EXPECT_GE(Clock::now() - start, 150ms);  // 1 ms x 50 + 100 ms
}

TEST_F(SerialPort, WriteToADeviceThatReadsNothingTimesOutAndCloseDoesNotWait)
{
    ASSERT_NE(port, nullptr);
    pyrrow::platform::ConfigureSerial(port, 115200);
    pyrrow::platform::SetSerialTimeouts(port, {5, 11, 1000, 0, 200});
    const std::string big(1 << 20, 'x');
    std::size_t written = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(pyrrow::platform::WriteSerial(port, big.data(), big.size(), &written));
    EXPECT_LT(written, big.size());
    EXPECT_GE(Clock::now() - start, 200ms);
    pyrrow::platform::CloseSerial(port);  // drops the stuck output
    port = nullptr;
}

TEST(SerialHangUp, ReadAndWriteFailWhenTheDeviceGoesAway)
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string path = ::ptsname(master);
    auto port = pyrrow::platform::OpenSerial(path);
    ASSERT_NE(port, nullptr);
    pyrrow::platform::SetSerialTimeouts(port, {5, 11, 1000, 250, 3000});
    ::close(master);
    char buffer[8];
    std::size_t n = 0;
    const auto start = Clock::now();
    EXPECT_FALSE(pyrrow::platform::ReadSerial(port, buffer, sizeof buffer, &n));
    EXPECT_FALSE(pyrrow::platform::WriteSerial(port, "abc", 3, &n));
    EXPECT_LT(Clock::now() - start, 1s);  // a hang-up is seen at once, not after the time-outs
    pyrrow::platform::CloseSerial(port);
}

TEST(SerialInterval, AGapAfterBytesEndsTheRead)
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string path = ::ptsname(master);
    auto port = pyrrow::platform::OpenSerial(path);
    ASSERT_NE(port, nullptr);
    pyrrow::platform::ConfigureSerial(port, 115200);
    pyrrow::platform::SetSerialTimeouts(port, {5, 11, 1000, 250, 3000});
    std::thread writer([master] {
        [[maybe_unused]] ssize_t w = ::write(master, "0123456789", 10);
        std::this_thread::sleep_for(100ms);
        w = ::write(master, "abcdef", 6);
    });
    char buffer[256];
    std::size_t n = 0;
    EXPECT_TRUE(pyrrow::platform::ReadSerial(port, buffer, sizeof buffer, &n));
    EXPECT_EQ(std::string(buffer, n), "0123456789");
    EXPECT_TRUE(pyrrow::platform::ReadSerial(port, buffer, sizeof buffer, &n));
    EXPECT_EQ(std::string(buffer, n), "abcdef");
    writer.join();
    pyrrow::platform::CloseSerial(port);
    ::close(master);
}

}  // namespace

namespace {

// A write is done when its bytes have left the port, not when the driver has
// queued them: the pauses of the protocol start at that moment. A port whose
// output never leaves gives a short write once the write time-out has passed.
TEST_F(SerialPort, WriteWaitsUntilTheOutputHasLeftThePort)
{
    ASSERT_NE(port, nullptr);
    ASSERT_TRUE(pyrrow::platform::ConfigureSerial(port, 115200));
    pyrrow::platform::SetSerialTimeouts(port, {0, 0, 0, 0, 200});
    const unsigned char block[16] = {1, 2, 3};
    long queued = 3;  // the driver still holds bytes for the first looks
    int looks = 0;
    pyrrow::platform::SetSerialOutputQueue(port, [&] {
        ++looks;
        return queued > 0 ? queued-- : 0L;
    });
    std::size_t written = 0;
    EXPECT_TRUE(pyrrow::platform::WriteSerial(port, block, sizeof block, &written));
    EXPECT_EQ(written, sizeof block);
    EXPECT_EQ(queued, 0);  // it looked until the queue was empty
    EXPECT_EQ(looks, 4);

    pyrrow::platform::SetSerialOutputQueue(port, [] { return 5L; });  // output that never leaves
    const auto start = Clock::now();
    pyrrow::platform::SystemError error;
    EXPECT_TRUE(pyrrow::platform::WriteSerial(port, block, sizeof block, &written, &error));
    EXPECT_LT(written, sizeof block);
    EXPECT_GE(Clock::now() - start, 190ms);

    // A stop request ends the wait for the output at once.
    pyrrow::platform::SetSerialTimeouts(port, {0, 0, 0, 0, 5000});
    std::stop_source stop;
    stop.request_stop();
    const auto stopStart = Clock::now();
    EXPECT_FALSE(pyrrow::platform::WriteSerial(port, block, sizeof block, &written, &error, stop.get_token()));
    EXPECT_LT(Clock::now() - stopStart, 1s);
    pyrrow::platform::SetSerialOutputQueue(port, [] { return 0L; });
}

// A driver that takes nothing although the port polls writable (EAGAIN or
// 0 again and again) still gives a short write at the write time-out.
TEST_F(SerialPort, WriteEndsAtItsTimeOutWhenTheDriverTakesNothing)
{
    ASSERT_NE(port, nullptr);
    pyrrow::platform::SetSerialTimeouts(port, {0, 0, 0, 0, 200});
    const unsigned char block[16] = {1, 2, 3};
    for (const int code : {EAGAIN, 0}) {
        SCOPED_TRACE(code);
        pyrrow::platform::SetSerialWrite(port, [code](const void*, std::size_t) {
            errno = code;
            return code == 0 ? 0L : -1L;
        });
        // Should the wait not end by itself, a stop ends it (and fails the test).
        std::stop_source stop;
        std::jthread watchdog([&stop](std::stop_token done) {
            std::mutex m;
            std::condition_variable_any cv;
            std::unique_lock lock(m);
            cv.wait_for(lock, done, 3s, [] { return false; });
            if (!done.stop_requested())
                stop.request_stop();
        });
        std::size_t written = 99;
        pyrrow::platform::SystemError error;
        const auto start = Clock::now();
        EXPECT_TRUE(pyrrow::platform::WriteSerial(port, block, sizeof block, &written, &error, stop.get_token()))
            << error.text;
        const auto took = Clock::now() - start;
        EXPECT_EQ(written, 0u);
        EXPECT_GE(took, 190ms);
        EXPECT_LT(took, 1s);
    }
}

}  // namespace

// A user refused a port is told who may open it; joining a group is advised
// only where that group may read and write and is not root's, else that only
// an administrator can help, with a udev rule matching what udev knows of the
// port: its kernel name, or the by-id link's adapter, never the link's name.
TEST(SerialAccessAdvice, FollowsTheNodesMode)
{
    using pyrrow::platform::SerialAccessAdvice;
    struct Case {
        const char* group;
        unsigned mode;
        const char* says;
    };
    for (const Case& c : {Case{"dialout", 0660, "; join the group dialout ('sudo usermod -aG dialout $USER'"},
                          Case{"root", 0600, "; only root may open it; only an administrator can change that: a udev rule"},
                          Case{"root", 0660, "; only root and the group root may open it; only an administrator"},
                          Case{"dialout", 0600, "; only root may open it; only an administrator"},
                          Case{"dialout", 0640, "; only root may open it; only an administrator"},
                          Case{"dialout", 0000, "; nobody may open it; only an administrator"}}) {
        const std::string advice = SerialAccessAdvice("root", c.group, c.mode, "KERNEL==\"ttyACM3\"");
        SCOPED_TRACE(advice);
        char head[64];
        std::snprintf(head, sizeof head, "owner root:%s, mode %04o", c.group, c.mode);
        EXPECT_EQ(advice.rfind(head, 0), 0u);
        EXPECT_NE(advice.find(c.says), std::string::npos);
        if (c.mode != 0660 || std::string(c.group) == "root") {
            EXPECT_EQ(advice.find("join"), std::string::npos);
            EXPECT_NE(advice.find("(for example KERNEL==\"ttyACM3\", GROUP="), std::string::npos);
        }
    }

    using pyrrow::platform::SerialUdevMatch;
    struct Match {
        const char* path;
        std::string kernelName;
        const char* match;
    };
    const Match matches[] = {
        {"/dev/ttyUSB0", "ttyUSB0", "KERNEL==\"ttyUSB0\""},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0",
         "SUBSYSTEM==\"tty\", ENV{ID_SERIAL}==\"FTDI_FT232R_USB_UART_A50285BI\""},
        {"/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_75237-if00", "ttyUSB0",
         "SUBSYSTEM==\"tty\", ENV{ID_SERIAL}==\"Arduino__www.arduino.cc__0043_75237\""},
        {"/dev/serial/by-id/odd-name", "ttyUSB0", "KERNEL==\"ttyUSB0\""},
        {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB0", "KERNEL==\"ttyUSB0\""},
        // udev makes no pseudo-terminal: no rule, and never KERNEL=="3".
        {"/dev/pts/3", pyrrow::platform::KernelName("/dev/pts/3"), ""},
    };
    for (const Match& m : matches)
        EXPECT_EQ(SerialUdevMatch(m.path, m.kernelName), m.match) << m.path;
    const std::string pty = SerialAccessAdvice("jana", "tty", 0620, "");
    EXPECT_EQ(pty.find("udev rule in"), std::string::npos) << pty;
    EXPECT_NE(pty.find("pseudo-terminal"), std::string::npos) << pty;
}
