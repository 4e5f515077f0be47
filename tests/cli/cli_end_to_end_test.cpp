// pyrrow-cli run as a program against the scripted devices: real exit codes,
// real standard output and error.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/serial.h"
#include "platform/utf.h"
#include "support/cli_run.h"
#include "support/pty_device.h"
#include "support/sim_process.h"
#include "support/tcp_device.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using pyrrow::test::Echo;
using pyrrow::test::TcpDevice;
using pyrrow::test::TcpScript;
using pyrrow::test::UnusedLoopbackPort;

using Outcome = pyrrow::test::CliOutcome;
using pyrrow::test::RunCli;

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
    std::string link;   // "tcp" or "serial" for pyrrow-sim
    std::string fault;  // its --fault
    int exitCode;
    std::string kind;
};

void PrintTo(const Scenario& s, std::ostream* os)
{
    *os << s.name;
}

class Failures : public Cli, public testing::WithParamInterface<Scenario> {};

TEST_P(Failures, EndWithTheirExitCodeAndErrorKind)
{
    const Scenario& s = GetParam();
    const std::string firmware = WriteFirmware(Firmware(2048));
    std::vector<std::string> args = {"flash", firmware, "--json", "--timeout-scale", "0.1"};
    std::unique_ptr<pyrrow::test::SimProcess> sim;
    std::unique_ptr<pyrrow::test::PtyDevice> pty;
    pyrrow::platform::SerialHandle holder = nullptr;
    if (!s.link.empty()) {
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
        holder = pyrrow::platform::OpenSerial(pyrrow::platform::Utf8ToUtf16Lossy(pty->SlavePath()));
        ASSERT_NE(holder, nullptr);
        args.push_back("--device=serial:" + pty->SlavePath());
    }

    const Outcome outcome = RunCli(args);
    if (holder != nullptr)
        pyrrow::platform::CloseSerial(holder);
    EXPECT_EQ(outcome.exitCode, s.exitCode) << outcome.err;
    const auto events = outcome.Events();
    ASSERT_FALSE(events.empty()) << outcome.err;
    for (const json& event : events)
        EXPECT_EQ(event.at("v"), 1);
    EXPECT_EQ(events.back().at("event"), "summary");
    EXPECT_EQ(events.back().at("exit_code"), s.exitCode);
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
    if (s.name == "busy") {  // who holds it, seen from the other process
        EXPECT_NE(message.find("pid " + std::to_string(::getpid())), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Failures,
    testing::Values(Scenario{"firmware_missing", "", "", 4, ""}, Scenario{"firmware_too_short", "", "", 4, ""},
                    Scenario{"settings_missing", "", "", 3, ""}, Scenario{"settings_damaged", "", "", 3, ""},
                    Scenario{"nothing_listens", "", "", 5, "no_device"},
                    Scenario{"no_serial_port", "", "", 5, "no_device"}, Scenario{"busy", "", "", 8, "device_busy"},
                    Scenario{"tcp_busy", "tcp", "busy", 5, "no_device"},
                    Scenario{"tcp_silent", "tcp", "header:silent", 9, "header_no_answer"},
                    Scenario{"tcp_status", "tcp", "header:status=1", 10, "header_rejected"},
                    Scenario{"tcp_wrong_echo", "tcp", "header:wrong-echo", 10, "header_rejected"},
                    Scenario{"tcp_split", "tcp", "header:split", 10, "header_rejected"},
                    Scenario{"tcp_short_answer", "tcp", "header:length=31", 10, "header_rejected"},
                    Scenario{"tcp_short_ack", "tcp", "ack:short@frame=0", 11, "block_no_ack"},
                    Scenario{"tcp_dropped_ack", "tcp", "ack:drop@frame=1", 11, "block_no_ack"},
                    Scenario{"tcp_closed", "tcp", "link:close@bytes=100", 11, "link_lost"},
                    Scenario{"serial_silent", "serial", "header:silent", 9, "header_no_answer"},
                    Scenario{"serial_short_answer", "serial", "header:length=31", 10, "header_rejected"},
                    Scenario{"serial_hangup", "serial", "link:hangup@bytes=300", 11, "link_lost"},
                    Scenario{"serial_busy", "serial", "busy", 8, "device_busy"}),
    [](const auto& param) { return param.param.name; });

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
