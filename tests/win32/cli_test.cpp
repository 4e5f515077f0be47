// pyrrow-cli.exe as a script on Windows runs it: a TCP upload through
// Winsock to a loopback device with its JSON record, its --log record and
// its --trace, the exit codes of the
// failures that need no device, and --version and --help.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "child_process.h"
#include "support/dialog_fixture.h"
#include "support/tcp_device.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using pyrrow::test::ChildProcess;

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::wstring>& arguments)
{
    ChildProcess cli(pyrrow::test::BuiltProgram(PYRROW_CLI_EXE), arguments);
    const int code = cli.Wait();
    return {code, cli.Output(), cli.Errors()};
}

std::vector<nlohmann::json> JsonLines(const std::string& text)
{
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(nlohmann::json::parse(text.substr(start, end - start)));
    return lines;
}

TEST(CliOnWindows, FlashesATcpUnitFromAFileNamedInCzech)
{
    pyrrow::test::TempDir dir;
    // Outside every ANSI code page at once: only the UTF-16 command line
    // brings it whole.
    const fs::path file = dir.path() / L"\x017Dlu\x0165ou\x010Dk\x00FD k\x016F\x0148 \x03B1.fw";
    const std::string firmware = pyrrow::test::Firmware(32 + 1500);
    pyrrow::test::WriteBytes(file, firmware);
    pyrrow::test::TcpScript script;
    script.answer = [](const std::string& header) { return pyrrow::test::Echo(header); };
    script.dataBytes = 1500;
    pyrrow::test::TcpDevice device(script);

    const fs::path log = dir.path() / L"units.jsonl";
    const fs::path trace = dir.path() / L"trace.jsonl";
    const CliRun run = RunCli({L"flash", file.wstring(), L"--device", L"tcp:127.0.0.1:" + std::to_wstring(device.Port()),
                            L"--json", L"--log", log.wstring(), L"--trace", trace.wstring()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // The log still named at its path takes the record, without a notice.
    EXPECT_EQ(run.err.find("no longer named"), std::string::npos) << run.err;
    const auto records = JsonLines(pyrrow::test::ReadBytes(log));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["result"], "ok");
    EXPECT_EQ(JsonLines(pyrrow::test::ReadBytes(trace)).size(), 6u);
    const auto lines = JsonLines(run.out);
    ASSERT_GE(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines.front()["event"], "start");
    EXPECT_EQ(lines.front()["size"], firmware.size());
    // Through BCrypt; the digest of the bytes as any SHA-256 gives it.
    EXPECT_EQ(lines.front()["sha256"], "ad89b6a087a941dff81f500cc28947d0876c11b2139618908895147127a80172");
    const nlohmann::json& result = lines[lines.size() - 2];
    EXPECT_EQ(result["event"], "result");
    EXPECT_EQ(result["status"], "ok");
    EXPECT_EQ(lines.back()["event"], "summary");
    EXPECT_EQ(lines.back()["exit_code"], 0);

    // Header, then two frames with their counters.
    const std::string received = device.Finish();
    EXPECT_EQ(received, firmware.substr(0, 32) + std::string("\0\0", 2) + firmware.substr(32, 1024) +
                            std::string("\1\0", 2) + firmware.substr(32 + 1024));
}

struct FailureCase {
    const char* note;
    std::vector<std::wstring> arguments;  // "FILE": a firmware file that exists
    int exitCode;
    std::string kind;  // of the JSON record; empty: no --json
};

TEST(CliOnWindows, FailuresEndWithTheirExitCodes)
{
    pyrrow::test::TempDir dir;
    const std::wstring file = (dir.path() / L"unit.fw").wstring();
    pyrrow::test::WriteBytes(dir.path() / L"unit.fw", pyrrow::test::Firmware(64));
    const std::wstring refused = L"tcp:127.0.0.1:" + std::to_wstring(pyrrow::test::UnusedLoopbackPort());
    const FailureCase cases[] = {
        {"refused connection", {L"flash", L"FILE", L"-d", refused, L"--json"}, 5, "no_device"},
        {"missing firmware", {L"flash", (dir.path() / L"missing.fw").wstring(), L"-d", refused, L"--json"}, 4,
         "firmware"},
        {"no such COM port", {L"flash", L"FILE", L"-d", L"serial:COM77", L"--json"}, 5, "no_device"},
        {"bad address", {L"flash", L"FILE", L"-d", L"tcp:1.2.3"}, 2, ""},
        {"no such command", {L"erase"}, 2, ""},
        // No MQTT library in this build: said before a unit is touched.
        {"--publish", {L"flash", L"FILE", L"-d", refused, L"--log", (dir.path() / L"units.jsonl").wstring(),
                       L"--publish", L"mqtt://127.0.0.1/line3", L"--json"}, 2, "usage"},
        {"publish", {L"publish", L"FILE", L"--to", L"mqtt://127.0.0.1/line3"}, 2, ""},
    };
    for (const FailureCase& c : cases) {
        std::vector<std::wstring> arguments = c.arguments;
        for (std::wstring& argument : arguments)
            if (argument == L"FILE")
                argument = file;
        SCOPED_TRACE(c.note);
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_FALSE(run.err.empty());
        if (c.kind.empty())
            continue;
        const auto lines = JsonLines(run.out);
        ASSERT_FALSE(lines.empty()) << run.out;
        const nlohmann::json& last = lines.back();
        const nlohmann::json& error = last["event"] == "summary" && last.contains("error") ? last["error"]
                                                                                             : lines[lines.size() - 2]["error"];
        EXPECT_EQ(error["kind"], c.kind) << run.out;
    }
}

TEST(CliOnWindows, VersionAndHelp)
{
    const CliRun version = RunCli({L"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "pyrrow-cli " + std::string(PYRROW_VERSION) + "\n");
    const CliRun help = RunCli({L"--help"});
    EXPECT_EQ(help.exitCode, 0);
    // The exit codes, to the last one.
    EXPECT_NE(help.out.find("130"), std::string::npos) << help.out;
}

}  // namespace
