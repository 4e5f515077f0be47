// pyrrow-cli run as a program against the scripted devices: real exit codes,
// real standard output and error.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/flash/flash_run.h"
#include "platform/devices/hid.h"
#include "platform/devices/node_lock.h"
#include "platform/serial/serial.h"
#include "platform/utf.h"
#include "support/cli_run.h"
#include "support/full_listener.h"
#include "support/json_schema.h"
#include "support/named_row.h"
#include "support/pty_device.h"
#include "support/sim_process.h"
#include "support/tcp_device.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using namespace pyrrow::test;

using Outcome = pyrrow::test::CliOutcome;

std::string Firmware(std::size_t dataBytes)
{
    std::string file;
    for (std::size_t i = 0; i < 32 + dataBytes; ++i)
        file += static_cast<char>((i * 7 + 3) & 0xFF);
    return file;
}

std::string Tcp(std::uint16_t port)
{
    return "tcp:127.0.0.1:" + std::to_string(port);
}

class Cli : public testing::Test {
protected:
    std::string WriteFirmware(const std::string& bytes, const std::string& name = "unit.fw")
    {
        pyrrow::test::WriteBytes(dir.path() / name, bytes);
        return (dir.path() / name).string();
    }

    pyrrow::test::TempDir dir;
};

// One failure scenario: the simulated device's link and fault (none: the
// name says what is done instead), the exit code and the error kind of the
// unit's result (empty: the run fails before any unit).
struct Scenario {
    std::string name;
    std::string link;   // "tcp" or "serial" for pyrrow-sim, "pty" for a PtyDevice
    std::string fault;  // its --fault; for a PtyDevice, strace's inject= of a failing call
    int exitCode;
    std::string kind;
    // What the unit's --log record says went to it (header included); -1:
    // the run keeps no log.
    long bytesSent = -1;
};

using pyrrow::test::PrintTo;

class Failures : public Cli, public testing::WithParamInterface<Scenario> {};

TEST_P(Failures, EndWithTheirExitCodeAndErrorKind)
{
    const Scenario& s = GetParam();
    const std::string firmware = WriteFirmware(Firmware(2048));
    std::vector<std::string> args = {"flash", firmware, "--json", "--timeout-scale", "0.1"};
    std::unique_ptr<pyrrow::test::SimProcess> sim;
    std::unique_ptr<pyrrow::test::PtyDevice> pty;
    pyrrow::platform::SerialHandle holder = nullptr;
    int heldOpen = -1;
    std::vector<std::string> launcher;
    if (s.link == "pty") {
        // A unit the test plays; a fault is a call of the program's on the
        // port failing, injected by strace.
        pty = std::make_unique<pyrrow::test::PtyDevice>(
            pyrrow::test::SerialScript{.banner = s.name == "serial_banner" ? std::string(32, 'B') : ""});
        args.push_back("--device=serial:" + pty->SlavePath());
        if (s.name == "serial_held_open")  // as a terminal left running has it
            heldOpen = ::open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (!s.fault.empty()) {
            // LeakSanitizer cannot look at a process that is traced already.
            const char* asan = std::getenv("ASAN_OPTIONS");
            launcher = {"strace", "-f", "--seccomp-bpf", "-qq", "-o", "/dev/null", "-P", pty->SlavePath(),
                        "-e", "trace=" + s.fault.substr(0, s.fault.find(':')), "-e", "inject=" + s.fault,
                        "env", std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                                   "detect_leaks=0"};
        }
    } else if (!s.link.empty()) {
        std::vector<std::string> simArgs = {s.link, "--fault", s.fault};
        if (s.link == "tcp")
            simArgs.insert(simArgs.end(), {"--listen", "127.0.0.1:0"});
        sim = std::make_unique<pyrrow::test::SimProcess>(simArgs);
        args.push_back("--device");
        args.push_back(s.link == "tcp" ? Tcp(sim->ReadPort()) : "serial:" + sim->ReadLine());
    } else if (s.name == "firmware_missing") {
        // A name that is not UTF-8 must not end the JSON record.
        args[1] = (dir.path() / "none\xff.fw").string();
        args.push_back("--device=tcp:127.0.0.1:1");
    } else if (s.name == "firmware_too_short") {
        args[1] = WriteFirmware(std::string(31, 'x'), "short.fw");
        args.push_back("--device=tcp:127.0.0.1:1");
    } else if (s.name == "settings_missing") {
        args = {"flash", "--json", "--settings", (dir.path() / "none.config").string()};
    } else if (s.name == "settings_damaged") {
        // Link and file would be there, but the document breaks off after them.
        const std::u16string text = u"\uFEFF<DriverSetting><Address pc='1'/><File path='" +
                                    pyrrow::platform::Utf8ToUtf16Lossy(firmware) +
                                    u"'/><Communication type='TCP'><TCP ip='127.0.0.1' port='1'/></Communication><Oops";
        pyrrow::test::WriteBytes(dir.path() / "damaged.config", pyrrow::test::Utf16LeBytes(text));
        args = {"flash", "--json", "--settings", (dir.path() / "damaged.config").string()};
    } else if (s.name == "nothing_listens") {
        args.push_back("--device=" + Tcp(UnusedLoopbackPort()));
    } else if (s.name == "no_serial_port") {
        args.push_back("--device=serial:/dev/pyrrow-no-such-port");
    } else if (s.name == "busy") {
        pty = std::make_unique<pyrrow::test::PtyDevice>(pyrrow::test::SerialScript{});
        holder = pyrrow::platform::OpenSerial(pty->SlavePath());
        ASSERT_NE(holder, nullptr);
        args.push_back("--device=serial:" + pty->SlavePath());
    }

    const std::string log = (dir.path() / "units.jsonl").string();
    if (s.bytesSent >= 0)
        args.insert(args.end(), {"--log", log});
    const Outcome outcome = RunCli(args, {}, launcher);
    if (holder != nullptr)
        pyrrow::platform::CloseSerial(holder);
    if (heldOpen >= 0)
        ::close(heldOpen);
    if (s.bytesSent >= 0) {
        const std::string record = pyrrow::test::ReadBytes(log);
        EXPECT_EQ(pyrrow::test::EventSchemaProblems(record, "log_record"), "") << record;
        EXPECT_EQ(json::parse(record.substr(0, record.find('\n')))["bytes_sent"], s.bytesSent) << record;
    }
    // A port that was not taken got no byte; where the header's answer was
    // awaited, the header and nothing after it.
    if (pty) {
        EXPECT_EQ(pty->Finish().size(), s.exitCode == 9 || s.fault.starts_with("ppoll") ? 32u : 0u);
    }
    EXPECT_EQ(outcome.exitCode, s.exitCode) << outcome.err;
    const auto events = outcome.Events();
    ASSERT_FALSE(events.empty()) << outcome.err;
    for (const json& event : events)
        EXPECT_EQ(event.at("v"), 1);
    EXPECT_EQ(events.back().at("event"), "summary");
    EXPECT_EQ(events.back().at("exit_code"), s.exitCode);
    if (s.name == "settings_damaged") {  // which file, where the reading stopped and why
        EXPECT_NE(outcome.err.find("damaged.config does not parse at line 1, column "), std::string::npos)
            << outcome.err;
        EXPECT_NE(outcome.err.find(": the text ends before every element is closed"), std::string::npos)
            << outcome.err;
    }
    const auto results = outcome.Results();
    if (s.kind.empty()) {
        EXPECT_TRUE(results.empty());
        return;
    }
    ASSERT_EQ(results.size(), 1u) << outcome.out;
    const json& error = results[0].at("error");
    EXPECT_EQ(results[0].at("status"), "failed");
    EXPECT_EQ(results[0].at("exit_code"), s.exitCode);
    EXPECT_EQ(error.at("kind"), s.kind);
    // The message names the unit; the human text on standard error says the same.
    const std::string message = error.at("message");
    EXPECT_EQ(message.rfind(results[0].at("unit").get<std::string>() + ": ", 0), 0u) << message;
    EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    if (s.fault == "ack:drop@frame=1") {
        EXPECT_EQ(error.at("frame"), 1);
        EXPECT_EQ(error.at("offset"), 32 + 1024);
    }
    if (s.fault == "header:silent") {
        EXPECT_NE(message.find("must be waiting for firmware"), std::string::npos) << message;
    }
    // A close and a reset are told apart, from the first receive that saw them.
    if (s.name == "tcp_closed") {
        EXPECT_NE(error.at("cause").get<std::string>().find("the device closed the connection"), std::string::npos)
            << error;
    }
    if (s.name == "tcp_reset") {
        EXPECT_NE(error.at("cause").get<std::string>().find("the connection broke: "), std::string::npos) << error;
    }
    if (s.kind == "host") {  // the system's reason, no advice about the unit or its cable
        EXPECT_EQ(message.find("cable"), std::string::npos) << message;
        EXPECT_EQ(message.find("loading mode"), std::string::npos) << message;
    }
    if (s.name == "busy" || s.name == "serial_held_open") {  // who holds it, seen from the other process
        EXPECT_NE(message.find("pid " + std::to_string(::getpid())), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Failures,
    testing::Values(Scenario{"firmware_missing", "", "", 4, ""}, Scenario{"firmware_too_short", "", "", 4, ""},
                    Scenario{"settings_missing", "", "", 3, ""}, Scenario{"settings_damaged", "", "", 3, ""},
                    Scenario{"nothing_listens", "", "", 5, "no_device"},
                    Scenario{"no_serial_port", "", "", 5, "no_device"}, Scenario{"busy", "", "", 8, "device_busy", 0},
                    Scenario{"tcp_busy", "tcp", "busy", 5, "no_device"},
                    Scenario{"tcp_silent", "tcp", "header:silent", 9, "header_no_answer", 32},
                    Scenario{"tcp_status", "tcp", "header:status=1", 10, "header_rejected", 32},
                    Scenario{"tcp_wrong_echo", "tcp", "header:wrong-echo", 10, "header_rejected"},
                    Scenario{"tcp_split", "tcp", "header:split", 10, "header_rejected"},
                    Scenario{"tcp_short_answer", "tcp", "header:length=31", 10, "header_rejected"},
                    // A frame that went but was not acknowledged went to the unit.
                    Scenario{"tcp_short_ack", "tcp", "ack:short@frame=0", 11, "block_no_ack", 32 + 1024},
                    Scenario{"tcp_dropped_ack", "tcp", "ack:drop@frame=1", 11, "block_no_ack", 32 + 2048},
                    // The unit took the header whole (one send) and closed before answering it.
                    Scenario{"tcp_header_then_closed", "tcp", "link:close@bytes=20", 11, "link_lost", 32},
                    Scenario{"tcp_closed", "tcp", "link:close@bytes=100", 11, "link_lost", 32 + 1024},
                    Scenario{"tcp_reset", "tcp", "link:reset@frame=1", 11, "link_lost", 32 + 2048},
                    Scenario{"serial_silent", "serial", "header:silent", 9, "header_no_answer", 32},
                    Scenario{"serial_short_answer", "serial", "header:length=31", 10, "header_rejected", 32},
                    Scenario{"serial_hangup", "serial", "link:hangup@bytes=300", 11, "link_lost"},
                    Scenario{"serial_busy", "serial", "busy", 8, "device_busy", 0},
                    // Bytes in the port before the header are no answer to it.
                    Scenario{"serial_banner", "pty", "", 9, "header_no_answer"},
                    Scenario{"serial_held_open", "pty", "", 8, "device_busy"},
                    // This host failing is neither a missing nor a busy unit nor a silent one.
                    Scenario{"serial_open_emfile", "pty", "openat:error=EMFILE", 13, "host"},
                    Scenario{"serial_lock_enolck", "pty", "flock:error=ENOLCK", 13, "host"},
                    Scenario{"serial_wait_enomem", "pty", "ppoll:error=ENOMEM", 13, "host"}),
    [](const auto& param) { return param.param.name; });

// A USB unit the test plays: a scripted HID library whose unit sits at a
// plain file standing in for its hidraw node, opened and held as the
// system's library holds a node, through the same lock.
class StandInHid final : public pyrrow::platform::HidBackend {
public:
    using HidDevice = pyrrow::platform::HidDevice;

    std::vector<pyrrow::platform::HidDeviceInfo> Enumerate(unsigned short, unsigned short) override { return {}; }
    HidDevice Open(unsigned short, unsigned short) override { return nullptr; }
    HidDevice OpenPath(const std::string& path) override
    {
        m_openError = {};
        return m_lock.Take(path, &m_openError) ? reinterpret_cast<HidDevice>(&m_lock) : nullptr;
    }
    int SetNonblocking(HidDevice, int) override { return 0; }
    int Write(HidDevice, const unsigned char*, std::size_t length) override
    {
        ++writes;
        return static_cast<int>(length);
    }
    // Pulled: every read fails, as hidraw's does once the unit is gone.
    int Read(HidDevice, unsigned char*, std::size_t) override
    {
        ++reads;
        return pulled ? -1 : 0;
    }
    std::u16string Error(HidDevice device) override
    {
        return device != nullptr ? u"No such device" : pyrrow::platform::Utf8ToUtf16Lossy(m_openError.text);
    }
    pyrrow::platform::SystemError::Kind OpenErrorKind() override { return m_openError.kind; }
    void Close(HidDevice) override { m_lock.Release(); }

    bool pulled = false;
    int writes = 0;
    int reads = 0;

private:
    pyrrow::platform::NodeLock m_lock;
    pyrrow::platform::SystemError m_openError;
};

// Another process holds the node's lock (an upload of another run) until
// it is destroyed.
class LockHolder {
public:
    explicit LockHolder(const std::string& node)
    {
        int ready[2];
        int release[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::close(release[1]);
            pyrrow::platform::NodeLock lock;
            const char taken = lock.Take(node, nullptr) ? '1' : '0';
            if (::write(ready[1], &taken, 1) == 1) {
                char any;
                while (::read(release[0], &any, 1) > 0) {
                }
            }
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char taken = '0';
        held = pid > 0 && ::read(ready[0], &taken, 1) == 1 && taken == '1';
        ::close(ready[0]);
    }
    ~LockHolder()
    {
        if (m_release >= 0)
            ::close(m_release);
        if (pid > 0)
            ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
    bool held = false;

private:
    int m_release = -1;
};

TEST_F(Cli, UsbUnitHeldByAnotherRunOrPulledDuringTheHeaderWait)
{
    const std::string node = WriteFirmware("", "hidraw-stand-in");
    const auto target = pyrrow::cli::Target{*pyrrow::cli::ParseDeviceUri("usb:path=" + node).uri, node};
    const std::string image = Firmware(64 * 3);
    const pyrrow::cli::FirmwareImage firmware{"unit.fw", {image.begin(), image.end()}, "", {}};
    pyrrow::upload::UploadObserver observer;

    {
        SCOPED_TRACE("held");
        const LockHolder other(node);
        ASSERT_TRUE(other.held);
        StandInHid hid;
        const auto result = pyrrow::cli::FlashUnit(target, firmware, observer, nullptr, {1.0, false, {}, &hid}, {});
        EXPECT_EQ(result.exitCode, 8) << result.message;
        EXPECT_EQ(result.kind, "device_busy");
        EXPECT_EQ(hid.writes, 0) << "not a byte written";
        EXPECT_NE(result.message.find("in use by another program"), std::string::npos) << result.message;
        EXPECT_NE(result.message.find("held by pid " + std::to_string(other.pid)), std::string::npos)
            << result.message;
    }
    {
        SCOPED_TRACE("pulled");
        StandInHid hid;
        hid.pulled = true;
        const auto result = pyrrow::cli::FlashUnit(target, firmware, observer, nullptr, {1.0, false, {}, &hid}, {});
        EXPECT_EQ(result.exitCode, 11) << result.message;
        EXPECT_EQ(result.kind, "link_lost");
        EXPECT_EQ(hid.writes, 1);  // the header
        EXPECT_EQ(hid.reads, 1) << "the first failed read ends the wait";
        EXPECT_LT(result.durationMs, 2500);
        EXPECT_NE(result.cause.find("went away"), std::string::npos) << result.cause;
    }
}

// Hostile or careless input: each is refused at once with its exit code, a
// message that says why, and the JSON summary; files given stay as they were.
struct Refusal {
    std::string name;
    std::vector<std::string> args;  // {dir}: the test's folder, {fw}: a good firmware file
    int exitCode;
    std::string kind;     // the summary's error.kind
    std::string message;  // part of the message, on standard error and in the summary
};

class Refusals : public Cli, public testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, EndAtOnceWithTheirCodeAndReason)
{
    const Refusal& r = GetParam();
    const std::string firmware = WriteFirmware(Firmware(1024));
    const std::string notes = "lab notes, not a trace\n";
    pyrrow::test::WriteBytes(dir.path() / "notes.txt", notes);
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    {
        // 40 GiB that take no disk.
        const int fd = ::open((dir.path() / "huge.fw").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{40} << 30), 0);
        ::close(fd);
    }
    const std::u16string anyAddress = u"\uFEFF<DriverSetting><Address pc='1'/><File path='" +
                                      pyrrow::platform::Utf8ToUtf16Lossy(firmware) +
                                      u"'/><Communication type='TCP'><TCP ip='0.0.0.0' port='1998'/>"
                                      u"</Communication></DriverSetting>";
    pyrrow::test::WriteBytes(dir.path() / "any.config", pyrrow::test::Utf16LeBytes(anyAddress));

    std::vector<std::string> args;
    for (std::string arg : r.args) {
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{dir}", dir.path().string()},
                                          {"{fw}", firmware}})
            if (const auto at = arg.find(mark); at != std::string::npos)
                arg.replace(at, mark.size(), value);
        args.push_back(arg);
    }
    args.push_back("--json");
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = RunCli(args);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "nothing waits";

    EXPECT_EQ(outcome.exitCode, r.exitCode) << outcome.err;
    EXPECT_EQ(outcome.err.rfind("pyrrow-cli: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(r.message), std::string::npos) << outcome.err;
    const auto events = outcome.Events();
    ASSERT_FALSE(events.empty()) << outcome.err;
    const json& summary = events.back();
    EXPECT_EQ(summary.at("event"), "summary");
    EXPECT_EQ(summary.at("exit_code"), r.exitCode);
    EXPECT_EQ(summary.at("failed"), 0) << "no unit was touched";
    EXPECT_EQ(summary.at("error").at("kind"), r.kind);
    EXPECT_NE(summary.at("error").at("message").get<std::string>().find(r.message), std::string::npos);
    EXPECT_EQ(pyrrow::test::ReadBytes(firmware), Firmware(1024));
    EXPECT_EQ(pyrrow::test::ReadBytes(dir.path() / "notes.txt"), notes);
    EXPECT_EQ(pyrrow::test::ReadBytes(dir.path() / "any.config"), pyrrow::test::Utf16LeBytes(anyAddress));
}

const std::string kNowhere = "--device=tcp:127.0.0.1:1";

INSTANTIATE_TEST_SUITE_P(
    Table, Refusals,
    testing::Values(
        Refusal{"settings_folder", {"flash", "--settings", "{dir}"}, 3, "settings", "not a regular file"},
        Refusal{"settings_endless_device", {"flash", "--settings", "/dev/zero"}, 3, "settings", "not a regular file"},
        Refusal{"settings_fifo", {"flash", "--settings", "{dir}/fifo"}, 3, "settings", "not a regular file"},
        Refusal{"settings_any_address", {"flash", "--settings", "{dir}/any.config"}, 3, "settings",
                "0.0.0.0, which names no device"},
        Refusal{"firmware_fifo", {"flash", "{dir}/fifo", kNowhere}, 4, "firmware", "not a regular file"},
        Refusal{"firmware_folder", {"flash", "{dir}", kNowhere}, 4, "firmware", "not a regular file"},
        Refusal{"firmware_larger_than_memory", {"flash", "{dir}/huge.fw", kNowhere}, 4, "firmware", "holds more than"},
        Refusal{"trace_over_the_firmware", {"flash", "{fw}", kNowhere, "--trace", "{fw}"}, 2, "usage",
                "a file this run reads"},
        Refusal{"trace_over_the_settings",
                {"flash", "{fw}", "--settings", "{dir}/any.config", kNowhere, "--trace", "{dir}/any.config"}, 2,
                "usage", "a file this run reads"},
        Refusal{"trace_over_other_file", {"flash", "{fw}", kNowhere, "--trace", "{dir}/notes.txt"}, 2, "usage",
                "not a trace of pyrrow-cli"},
        Refusal{"trace_into_a_fifo", {"flash", "{fw}", kNowhere, "--trace", "{dir}/fifo"}, 2, "usage",
                "not a regular file"},
        Refusal{"timeout_scale_nan", {"flash", "{fw}", kNowhere, "--timeout-scale", "nan"}, 2, "usage", "not nan"},
        Refusal{"timeout_scale_inf", {"flash", "{fw}", kNowhere, "--timeout-scale", "inf"}, 2, "usage", "not inf"},
        Refusal{"misspelt_option", {"flash", "{fw}", kNowhere, "--devcie", "x"}, 2, "usage",
                "unknown option --devcie; did you mean --device?"},
        Refusal{"unknown_option_alone", {"--bogus"}, 2, "usage", "--bogus"},
        Refusal{"no_device", {"flash", "{fw}"}, 2, "usage", "--device"},
        Refusal{"ipv6_address", {"flash", "{fw}", "--device=tcp:[::1]"}, 2, "usage", "IPv6"},
        Refusal{"address_with_leading_zero", {"flash", "{fw}", "--device=tcp:0127.0.0.1"}, 2, "usage",
                "without leading zeros"},
        Refusal{"port_with_leading_zero", {"flash", "{fw}", "--device=tcp:127.0.0.1:034483"}, 2, "usage",
                "without leading zeros"},
        Refusal{"com_port_zero", {"flash", "{fw}", "--device=serial:COM0"}, 2, "usage", "start at 1"}),
    [](const auto& param) { return param.param.name; });

TEST_F(Cli, ThirtyRunsReadOneFileWhoseNameIsNotUtf8AtOnce)
{
    // A production line starts one run per fixture on one image; none may
    // find the file locked, nor open another name than the bytes it was given.
    const std::string firmware = WriteFirmware(Firmware(1024), "bad\xff\xfename.fw");
    const std::uint16_t port = UnusedLoopbackPort();
    std::vector<std::thread> runs;
    std::vector<Outcome> outcomes(30);
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        runs.emplace_back([&, i] { outcomes[i] = RunCli({"flash", firmware, "--json", "--device=" + Tcp(port)}); });
    for (std::thread& run : runs)
        run.join();
    for (const Outcome& outcome : outcomes) {
        EXPECT_EQ(outcome.exitCode, 5) << outcome.err;  // nothing listens: every run got as far as the link
        ASSERT_FALSE(outcome.Results().empty()) << outcome.out << outcome.err;
        EXPECT_EQ(outcome.Results()[0]["error"]["kind"], "no_device");
    }
}

// A stop request ends every wait at once, whatever the time-out scale: the
// connect that gets no answer, the header answer or the acknowledgement
// that does not come. A unit stopped mid-upload sees its connection cut
// (a reset), never the orderly close of an upload that ended.
struct StopCase {
    std::string name;
    std::string wait;  // "connect", "tcp_header", "tcp_acknowledgement" or "serial_header"
    int signal;
};

class StopRequests : public Cli, public testing::WithParamInterface<StopCase> {};

TEST_P(StopRequests, EndTheWaitAtOnceAndTheUnitIsCancelled)
{
    const StopCase& s = GetParam();
    const std::string firmware = WriteFirmware(Firmware(1024));
    std::unique_ptr<pyrrow::test::SimProcess> sim;
    std::string device;
    std::optional<FullListener> full;
    std::optional<TcpDevice> unit;
    if (s.wait == "connect") {
        full.emplace();
        device = Tcp(full->Port());
    } else if (s.wait == "tcp_acknowledgement") {
        unit.emplace(TcpScript{.answer = [](const std::string& header) { return Echo(header); },
                               .dataBytes = 2048,
                               .acknowledgement = ""});
        device = Tcp(unit->Port());
    } else {
        const std::string link = s.wait == "tcp_header" ? "tcp" : "serial";
        std::vector<std::string> simArgs = {link, "--fault", "header:silent"};
        if (link == "tcp")
            simArgs.insert(simArgs.end(), {"--listen", "127.0.0.1:0"});
        sim = std::make_unique<pyrrow::test::SimProcess>(simArgs);
        device = link == "tcp" ? Tcp(sim->ReadPort()) : "serial:" + sim->ReadLine();
    }
    // Into the wait: after the start for the connect, after the header for
    // its answer (and for the acknowledgement of the first frame that follows at once).
    const std::string into = s.wait == "connect" ? "\"event\":\"start\"" : "\"phase\":\"header\"";
    std::thread stopper;
    std::chrono::steady_clock::time_point signalled;
    const Outcome outcome =
        RunCli({"flash", firmware, "--json", "--timeout-scale", "10", "--device", device},
               [&](const std::string& out, pid_t pid) {
                   if (!stopper.joinable() && out.find(into) != std::string::npos)
                       stopper = std::thread([&, pid] {
                           std::this_thread::sleep_for(500ms);
                           signalled = std::chrono::steady_clock::now();
                           ::kill(pid, s.signal);
                       });
               });
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(stopper.joinable()) << outcome.out << outcome.err;
    stopper.join();
    EXPECT_LT(ended - signalled, 1s) << "the wait went on after the stop request";
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    const auto results = outcome.Results();
    ASSERT_EQ(results.size(), 1u) << outcome.out;
    EXPECT_EQ(results[0]["error"]["kind"], "cancelled");
    EXPECT_EQ(outcome.Events().back()["exit_code"], 130);
    if (unit) {
        EXPECT_EQ(unit->Ending(), TcpDevice::End::Reset);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StopRequests,
                         testing::Values(StopCase{"sigint_in_connect", "connect", SIGINT},
                                         StopCase{"sigterm_in_tcp_header", "tcp_header", SIGTERM},
                                         StopCase{"sigint_in_tcp_acknowledgement", "tcp_acknowledgement", SIGINT},
                                         StopCase{"sighup_in_serial_header", "serial_header", SIGHUP}),
                         [](const auto& param) { return param.param.name; });

// A stop ends pyrrow-cli and pyrrow-sim also when what they still have to
// say cannot be written (their reader stopped reading): within the bound,
// with the code of their run, or at once with 130 on a second stop.
struct StuckCase {
    std::string name;
    bool cli;                  // pyrrow-cli, or the simulator
    std::vector<std::string> args;
    std::vector<int> signals;  // 300 ms apart
    int exitCode;
    std::chrono::milliseconds within;
};

class StuckOutput : public Cli, public testing::WithParamInterface<StuckCase> {};

TEST_P(StuckOutput, NeverHoldsAStoppedProgram)
{
    const StuckCase& c = GetParam();
    std::vector<std::string> args = c.args;
    if (c.cli)
        args.insert(args.begin() + 1, WriteFirmware(Firmware(1024)));
    // Standard error goes to a full pipe: the first line waits for ever.
    pyrrow::test::SimProcess program(args, false, -1, 2, c.cli ? PYRROW_CLI : "");
    if (c.cli) {
        // The first line of a flash is said at its start.
        const auto wchan = std::filesystem::path("/proc") / std::to_string(program.Pid()) / "wchan";
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (pyrrow::test::ReadBytes(wchan).find("pipe_write") == std::string::npos &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
    } else {
        EXPECT_NE(program.ReadPort(), 0);  // the stop's own line is the one that waits
    }
    const auto signalled = std::chrono::steady_clock::now();
    for (const int signal : c.signals) {
        program.Signal(signal);
        std::this_thread::sleep_for(300ms);
    }
    EXPECT_EQ(program.Wait(c.within + 2s), c.exitCode);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, c.within);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StuckOutput,
    testing::Values(
        StuckCase{"cli", true, {"flash", "--device", "tcp:127.0.0.1:1"}, {SIGTERM}, 130, 6500ms},
        StuckCase{"cli_stopped_twice", true, {"flash", "--device", "tcp:127.0.0.1:1"}, {SIGTERM, SIGINT}, 130, 1500ms},
        StuckCase{"sim", false, {"tcp", "--listen", "127.0.0.1:0"}, {SIGTERM}, 0, 6500ms},
        StuckCase{"sim_once_without_upload", false, {"tcp", "--listen", "127.0.0.1:0", "--once"}, {SIGHUP}, 1, 6500ms},
        StuckCase{"sim_stopped_twice", false, {"tcp", "--listen", "127.0.0.1:0"}, {SIGTERM, SIGTERM}, 130, 1500ms}),
    [](const auto& param) { return param.param.name; });

// What this machine has attached is listed (never opened), each line as
// documented; usually its serial ports.
TEST(CliList, JsonLinesAreTheDocumentedDeviceEvents)
{
    const Outcome outcome = RunCli({"list", "--json"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    for (const json& event : outcome.Events())
        EXPECT_EQ(event.at("event"), "device");
}

TEST_F(Cli, FourUnitsInParallelOneFailingEndWith14AndTheOthersFlashed)
{
    const std::string file = Firmware(2048);
    const std::string firmware = WriteFirmware(file);
    std::vector<std::unique_ptr<TcpDevice>> devices;
    std::vector<std::string> args = {"flash", firmware, "--json"};
    for (int i = 0; i < 4; ++i) {
        TcpScript script{.answer = [i](const std::string& header) { return Echo(header, 0, i == 2 ? 7 : 0); },
                         .dataBytes = 2048};
        devices.push_back(std::make_unique<TcpDevice>(script));
        args.push_back("--device=" + Tcp(devices.back()->Port()));
    }
    const Outcome outcome = RunCli(args);
    EXPECT_EQ(outcome.exitCode, 14) << outcome.err;
    const auto results = outcome.Results();
    ASSERT_EQ(results.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const std::string unit = Tcp(devices[static_cast<std::size_t>(i)]->Port());
        const auto result = std::find_if(results.begin(), results.end(), [&](const json& r) { return r["unit"] == unit; });
        ASSERT_NE(result, results.end()) << unit;
        EXPECT_EQ((*result)["exit_code"], i == 2 ? 10 : 0) << unit;
        EXPECT_EQ((*result)["status"], i == 2 ? "failed" : "ok") << unit;
        if (i != 2) {
            EXPECT_EQ(devices[static_cast<std::size_t>(i)]->Finish().size(), file.size() + 2 * 2);
        }
    }
}

TEST_F(Cli, SigintMidUploadStopsBetweenBlocksAndEndsWith130)
{
    const std::string firmware = WriteFirmware(Firmware(30 * 1024));
    TcpDevice device({.answer = [](const std::string& header) { return Echo(header); }, .dataBytes = 30 * 1024});
    bool signalled = false;
    const Outcome outcome = RunCli({"flash", firmware, "--json", "--device", Tcp(device.Port())},
                                   [&](const std::string& out, pid_t pid) {
                                       if (!signalled && out.find("\"phase\":\"data\"") != std::string::npos) {
                                           signalled = true;
                                           ::kill(pid, SIGINT);
                                       }
                                   });
    ASSERT_TRUE(signalled) << outcome.out << outcome.err;
    // An orderly end: the result and the summary, no death by the signal
    // and, in the sanitized build, no leak.
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    const auto results = outcome.Results();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]["error"]["kind"], "cancelled");
    EXPECT_LT(results[0]["error"]["frame"].get<int>(), 29);
    EXPECT_EQ(outcome.Events().back()["exit_code"], 130);
    // The device saw the connection closed before the file was through.
    EXPECT_LT(device.Finish().size(), 32u + 30 * 1026);
}

// --pace ack adds up what comes within the wait: a header answer or an
// acknowledgement in several pieces is one answer. The protocol's pace
// judges each receive alone.
struct PiecesCase {
    std::string name;
    std::string pace;
    bool headerInPieces;
    std::chrono::milliseconds acknowledgementGap;  // negative: in one piece
    int exitCode;
};

class AnswersInPieces : public Cli, public testing::WithParamInterface<PiecesCase> {};

TEST_P(AnswersInPieces, CountAsOneWithThePaceOfAcknowledgements)
{
    const PiecesCase& c = GetParam();
    const std::string firmware = WriteFirmware(Firmware(2048));
    TcpScript script;
    script.answer = [split = c.headerInPieces](const std::string& header) {
        std::vector<TcpScript::Piece> answer = Echo(header);
        if (split)
            answer = {{0ms, answer[0].bytes.substr(0, 16)}, {250ms, answer[0].bytes.substr(16)}};
        return answer;
    };
    script.dataBytes = 2048;
    script.acknowledgementGap = c.acknowledgementGap;
    TcpDevice device(script);
    const Outcome outcome = RunCli({"flash", firmware, "--json", "--timeout-scale", "0.5", "--pace", c.pace,
                                    "--device", Tcp(device.Port())});
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, AnswersInPieces,
    testing::Values(PiecesCase{"ack_pace_header_answer", "ack", true, -1ms, 0},
                    PiecesCase{"ack_pace_acknowledgement", "ack", false, 250ms, 0},
                    PiecesCase{"protocol_pace_acknowledgement", "protocol", false, 250ms, 11}),
    [](const auto& param) { return param.param.name; });

// System calls made to fail (through strace): a host that lacks descriptors
// or memory is told as such, never as a unit that is missing or silent, and
// an interrupted call never stretches a wait past its bound.
struct SystemFault {
    std::string name;
    std::string inject;  // strace's -e inject=
    int exitCode;
    std::string kind;
    std::string cause;  // in the result's cause
};

class SystemFaults : public Cli, public testing::WithParamInterface<SystemFault> {};

TEST_P(SystemFaults, AreToldAsTheyAreAndEndInTime)
{
    const SystemFault& f = GetParam();
    if (std::system("command -v strace > /dev/null") != 0)
        GTEST_SKIP() << "strace is missing";
    const std::string firmware = WriteFirmware(Firmware(2048));
    // A socket that is never made needs no unit.
    std::optional<TcpDevice> unit;
    if (f.inject.rfind("socket:", 0) != 0)
        unit.emplace(TcpScript{.answer = [](const std::string& header) { return Echo(header); }, .dataBytes = 2048});
    const std::uint16_t port = unit ? unit->Port() : UnusedLoopbackPort();
    const auto start = std::chrono::steady_clock::now();
    // (LeakSanitizer cannot look at a process that strace traces.)
    const Outcome outcome =
        RunCli({"flash", firmware, "--json", "--timeout-scale", "0.1", "--device", Tcp(port)}, {},
               {"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-f", "-qq", "-o", "/dev/null", "-e",
                "inject=" + f.inject});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(outcome.exitCode, f.exitCode) << outcome.err;
    const auto results = outcome.Results();
    ASSERT_EQ(results.size(), 1u) << outcome.out << outcome.err;
    EXPECT_EQ(results[0]["error"]["kind"], f.kind);
    EXPECT_NE(results[0]["error"]["cause"].get<std::string>().find(f.cause), std::string::npos) << results[0];
    if (f.kind == "host") {
        const std::string message = results[0]["error"]["message"];
        EXPECT_EQ(message.find("cable"), std::string::npos) << message;
        EXPECT_EQ(message.find("waiting for firmware"), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemFaults,
    testing::Values(
        SystemFault{"no_descriptors", "socket:error=EMFILE", 13, "host", "Too many open files"},
        SystemFault{"no_descriptors_in_the_system", "socket:error=ENFILE", 13, "host", "Too many open files in system"},
        SystemFault{"no_memory", "socket:error=ENOMEM", 13, "host", "Cannot allocate memory"},
        SystemFault{"every_receive_interrupted", "recvfrom,recvmsg:error=EINTR", 9, "header_no_answer", "no answer"},
        SystemFault{"every_send_interrupted", "sendto,sendmsg:error=EINTR", 11, "header_send", "Interrupted"}),
    [](const auto& param) { return param.param.name; });

TEST_F(Cli, ProgressOffTheTerminalIsBoundedPlainLines)
{
    // 100 frames as fast as the device acknowledges: a line per frame would
    // be 100 lines.
    const std::string firmware = WriteFirmware(Firmware(100 * 1024));
    TcpDevice device({.answer = [](const std::string& header) { return Echo(header); }, .dataBytes = 100 * 1024});
    const Outcome outcome = RunCli({"flash", firmware, "--pace", "ack", "--device", Tcp(device.Port())});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
    const auto lines = std::count(outcome.err.begin(), outcome.err.end(), '\n');
    EXPECT_GE(lines, 4) << outcome.err;   // the start, some progress, the result
    EXPECT_LE(lines, 13) << outcome.err;  // the start, at most 11 progress lines, the result
    EXPECT_EQ(outcome.err.find('\x1b'), std::string::npos) << "no cursor movements off the terminal";
}

TEST_F(Cli, SerialUploadToAPseudoTerminalByPathWithTrace)
{
    const std::string file = Firmware(600);
    const std::string firmware = WriteFirmware(file);
    pyrrow::test::PtyDevice device({.answer = {{0ms, std::string(32, 'A')}}});
    const std::string trace = (dir.path() / "trace.jsonl").string();
    const Outcome outcome = RunCli({"flash", firmware, "-q", "--device", "serial:" + device.SlavePath(), "--trace", trace});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(device.Finish(), file);
    EXPECT_EQ(pyrrow::test::EventSchemaProblems(pyrrow::test::ReadBytes(trace), "trace_line"), "");
    // The header out, its answer in, then three blocks.
    std::istringstream lines(pyrrow::test::ReadBytes(trace));
    std::vector<json> exchanges;
    for (std::string line; std::getline(lines, line);)
        exchanges.push_back(json::parse(line));
    ASSERT_EQ(exchanges.size(), 5u);
    EXPECT_EQ(exchanges[0]["direction"], "sent");
    EXPECT_EQ(exchanges[0]["unit"], "serial:" + device.SlavePath());
    EXPECT_EQ(exchanges[0]["bytes"].get<std::string>().substr(0, 8), "030a1118");
    EXPECT_EQ(exchanges[1]["direction"], "received");
    std::string answer;
    for (int i = 0; i < 32; ++i)
        answer += "41";
    EXPECT_EQ(exchanges[1]["bytes"], answer);
}

TEST_F(Cli, ATraceCutShortIsSaidAndKeepsWholeLines)
{
    // A file size limit stands in for a full disk: the trace's writes fail
    // part way through, the upload does not.
    const std::string file = Firmware(4096);
    const std::string firmware = WriteFirmware(file);
    TcpDevice device({.answer = [](const std::string& header) { return Echo(header); }, .dataBytes = 4096});
    const std::string trace = (dir.path() / "trace.jsonl").string();
    const Outcome outcome = RunCli({"flash", firmware, "--json", "--pace", "ack", "--device", Tcp(device.Port()),
                                    "--trace", trace},
                                   {}, {"prlimit", "--fsize=3000"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(device.Finish().size(), file.size() + 4 * 2);
    const std::string kept = pyrrow::test::ReadBytes(trace);
    ASSERT_FALSE(kept.empty());
    EXPECT_LE(kept.size(), 3000u);
    EXPECT_EQ(kept.back(), '\n');
    const json summary = outcome.Events().back();
    ASSERT_TRUE(summary.contains("trace_error")) << outcome.out;
    EXPECT_NE(summary["trace_error"].get<std::string>().find("--trace: writing " + trace + " failed"),
              std::string::npos);
    EXPECT_NE(outcome.err.find(summary["trace_error"].get<std::string>()), std::string::npos) << outcome.err;
}

// Started with a standard stream closed (`>&-`, as a daemon or a careless
// script does), neither program may let a port or a file take its number:
// its own output would go into the unit or the log.
TEST_F(Cli, AClosedStandardStreamNeverTakesThePortOrTheLog)
{
    const std::string file = Firmware(600);
    const std::string firmware = WriteFirmware(file);
    // (pyrrow-cli never reads standard input: a port in its place is not fed.)
    for (const int closed : {1, 2}) {
        SCOPED_TRACE("standard stream " + std::to_string(closed) + " closed");
        pyrrow::test::PtyDevice device({.answer = {{0ms, std::string(32, 'A')}}});
        const std::string log = (dir.path() / ("units" + std::to_string(closed) + ".jsonl")).string();
        // Without --json the progress lines go to standard error.
        std::vector<std::string> args{"flash", firmware, "--device", "serial:" + device.SlavePath(), "--log", log};
        if (closed != 2)
            args.push_back("--json");
        const Outcome outcome =
            RunCli(args, {}, {"sh", "-c", "exec \"$0\" \"$@\" " + std::to_string(closed) + ">&-"});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(device.Finish(), file);
        const std::string records = pyrrow::test::ReadBytes(log);
        EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 1) << records;
        const json record = json::parse(records.substr(0, records.find('\n')), nullptr, false);
        EXPECT_TRUE(record.is_object() && record.value("result", "") == "ok") << records;
    }
    for (const int closed : {0, 1, 2}) {
        SCOPED_TRACE("the simulator's standard stream " + std::to_string(closed) + " closed");
        const std::string link = (dir.path() / ("unit" + std::to_string(closed))).string();
        const auto store = dir.path() / ("store" + std::to_string(closed));
        std::filesystem::create_directory(store);
        pyrrow::test::SimProcess sim({"serial", "--link", link, "--expect", firmware, "--store", store.string()},
                                     false, closed);
        const Outcome outcome =
            RunCli({"flash", firmware, "-q", "--wait", "--wait-timeout", "20", "--device", "serial:" + link});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        // What the simulator opens first today is harmless in that place
        // (its signal descriptor); the guard keeps it so whatever comes first.
        const auto stream = std::filesystem::path("/proc") / std::to_string(sim.Pid()) / "fd" / std::to_string(closed);
        EXPECT_EQ(std::filesystem::read_symlink(stream), "/dev/null");
        sim.Signal(SIGTERM);
        sim.Wait();
        EXPECT_EQ(pyrrow::test::StoredImages(store), std::vector<std::string>{file});
    }
}

TEST_F(Cli, SettingsFileGivesLinkAndFileAndStaysAsItWas)
{
    const std::string file = Firmware(1024);
    const std::string firmware = WriteFirmware(file);
    TcpDevice device({.answer = [](const std::string& header) { return Echo(header); }, .dataBytes = 1024});
    const std::u16string text = u"\uFEFF<DriverSetting><Address pc=\"1\" /><File path=\"" +
                                pyrrow::platform::Utf8ToUtf16Lossy(firmware) +
                                u"\" /><Communication type=\"TCP\"><TCP ip=\"127.0.0.1\" port=\"" +
                                pyrrow::platform::Utf8ToUtf16Lossy(std::to_string(device.Port())) +
                                u"\" /></Communication></DriverSetting>";
    const auto settings = dir.path() / "pyrrow.config";
    pyrrow::test::WriteBytes(settings, pyrrow::test::Utf16LeBytes(text));
    const Outcome outcome = RunCli({"flash", "-q", "--settings", settings.string()});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(device.Finish(), file.substr(0, 32) + std::string(2, '\0') + file.substr(32));
    EXPECT_EQ(pyrrow::test::ReadBytes(settings), pyrrow::test::Utf16LeBytes(text));
}

}  // namespace
