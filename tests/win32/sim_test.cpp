// pyrrow-sim.exe with pyrrow-cli.exe on Windows: a TCP unit through Winsock
// and a serial unit on the device's end of the null-modem pair
// (with_null_modem.sh) store what the CLI flashed, byte for byte; a fault
// reaches the CLI as its exit code; what Windows lacks is said.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "child_process.h"
#include "support/dialog_fixture.h"
#include "support/named_row.h"
#include "support/temp_dir.h"

namespace {

using namespace pyrrow::test;

std::wstring FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    const std::string text = value != nullptr ? value : "";
    return std::wstring(text.begin(), text.end());
}

struct SimCase {
    const char* name;
    const char* link;
    const wchar_t* fault;  // empty: none
    std::size_t size;
    int cliExit;
    int simExit;
    const char* sha256;  // of the firmware, as any SHA-256 gives it
};

using pyrrow::test::PrintTo;

class SimAndCli : public testing::TestWithParam<SimCase> {};

TEST_P(SimAndCli, StoreWhatWasFlashedOrFailAsTheFaultSays)
{
    const SimCase& c = GetParam();
    const bool tcp = std::string(c.link) == "tcp";
    pyrrow::test::TempDir dir;
    const std::string file = pyrrow::test::Firmware(c.size);
    pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
    const std::filesystem::path store = dir.path() / "store";

    std::vector<std::wstring> simArgs = {tcp ? L"tcp" : L"serial", L"--once", L"--json", L"--store", store.wstring()};
    if (tcp)
        simArgs.insert(simArgs.end(), {L"--listen", L"127.0.0.1:0"});
    else
        simArgs.insert(simArgs.end(), {L"--port", FromEnvironment("PYRROW_TEST_DEVICE_PORT")});
    if (*c.fault != 0)
        simArgs.insert(simArgs.end(), {L"--fault", c.fault});
    ChildProcess sim(pyrrow::test::BuiltProgram(PYRROW_SIM_EXE), simArgs);
    const std::string where = sim.ReadLine();
    ASSERT_FALSE(where.empty()) << sim.Errors();

    const std::wstring device = tcp ? L"tcp:" + std::wstring(where.begin(), where.end())
                                    : L"serial:" + FromEnvironment("PYRROW_TEST_PROGRAM_PORT");
    ChildProcess cli(pyrrow::test::BuiltProgram(PYRROW_CLI_EXE),
                     {L"flash", (dir.path() / "unit.fw").wstring(), L"--device", device, L"--timeout-scale", L"0.1",
                      L"-q"});
    EXPECT_EQ(cli.Wait(), c.cliExit) << cli.Errors();
    EXPECT_EQ(sim.Wait(), c.simExit) << sim.Errors();
    const auto summary = nlohmann::json::parse(sim.Output());
    ASSERT_EQ(summary["units"][0]["uploads"].size(), 1u) << sim.Output();
    if (c.simExit != 0) {
        EXPECT_TRUE(StoredImages(store).empty());
        return;
    }
    EXPECT_EQ(StoredImages(store), std::vector<std::string>{file});
    // Through BCrypt.
    EXPECT_EQ(summary["units"][0]["uploads"][0]["sha256"], c.sha256);
}

constexpr const char* kTcpSha256 = "4613a15ac748b99b433b173ecb3265548bf6d8ad897b00d14b06f7c795ab07be";
constexpr const char* kSerialSha256 = "35cda5148ebb591c28c28e25f7615c652c4624629966661443efac9e553129d3";

// TCP: frames of 1024, 1024 and 5 bytes; serial: blocks of 256, 256, 256 and 7.
INSTANTIATE_TEST_SUITE_P(
    Links, SimAndCli,
    testing::Values(SimCase{"tcp", "tcp", L"", 32 + 2048 + 5, 0, 0, kTcpSha256},
                    SimCase{"serial", "serial", L"", 32 + 3 * 256 + 7, 0, 0, kSerialSha256},
                    SimCase{"tcp_dropped_ack", "tcp", L"ack:drop@frame=1", 32 + 2048 + 5, 11, 1, kTcpSha256},
                    SimCase{"serial_silent", "serial", L"header:silent", 32 + 3 * 256 + 7, 9, 1, kSerialSha256}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(SimOnWindows, SaysWhatWindowsLacks)
{
    const struct {
        std::vector<std::wstring> args;
        std::string says;
    } cases[] = {
        {{L"usb"}, "the USB unit needs Linux (/dev/uhid)"},
        {{L"serial"}, "--port COMn"},
        {{L"serial", L"--port", L"COM77"}, "cannot open the port COM77"},
    };
    for (const auto& c : cases) {
        ChildProcess sim(pyrrow::test::BuiltProgram(PYRROW_SIM_EXE), c.args);
        EXPECT_EQ(sim.Wait(), 2);
        EXPECT_NE(sim.Errors().find(c.says), std::string::npos) << sim.Errors();
    }
}

}  // namespace
