// The program's own uploads into pyrrow-sim: what the simulator stores is
// the firmware file, byte for byte, and its faults reach the operator as
// the messages of a real unit's failures.
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "res/resource.h"
#include "support/dialog_fixture.h"
#include "support/json_schema.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using namespace pyrrow::test;

struct LinkCase {
    const char* link;
    std::size_t size;
};

class SimUpload : public pyrrow::test::DialogTest {
protected:
    SimUpload()
    {
        // The protocol's pauses, ten times shorter: the simulator answers at once.
        dlg.m_sleep = [](unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms / 10)); };
        std::filesystem::create_directory(store);
    }

    // Starts the simulator for link with args and points the dialog at it.
    std::unique_ptr<SimProcess> Start(const std::string& link, std::vector<std::string> args)
    {
        args.insert(args.begin(), {link, "--once", "--json", "--store", store.string()});
        if (link == "tcp")
            args.insert(args.end(), {"--listen", "127.0.0.1:0"});
        else
            args.insert(args.end(), {"--link", (dir.path() / "port").string()});
        auto sim = std::make_unique<SimProcess>(args);
        if (link == "tcp") {
            const std::uint16_t port = sim->ReadPort();
            Init({u"ttyS0"});
            dlg.Host().CheckRadioButton(IDC_RADIO_SERIAL, IDC_RADIO_USB, IDC_RADIO_TCP);
            host.TypeIpAddress(IDC_IP_ADDRESS, 0x7F000001);
            dlg.m_tcpPort = port;
        } else {
            EXPECT_FALSE(sim->ReadLine().empty());
            Init({dir.File("port")});  // the link the simulator made
        }
        return sim;
    }

    void UploadFile(const std::string& file)
    {
        pyrrow::test::WriteBytes(dir.path() / "unit.fw", file);
        dlg.m_strFirmwarePath = dir.File("unit.fw");
        Upload();
    }

    pyrrow::test::TempDir dir;
    std::filesystem::path store = dir.path() / "store";
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.link;
}

class StoredImage : public SimUpload, public testing::WithParamInterface<LinkCase> {};

TEST_P(StoredImage, IsTheFirmwareFile)
{
    const std::string file = pyrrow::test::Firmware(GetParam().size);
    auto sim = Start(GetParam().link, {});
    UploadFile(file);
    EXPECT_TRUE(Messages().empty());
    ASSERT_EQ(sim->Wait(), 0) << sim->Errors();
    EXPECT_EQ(pyrrow::test::StoredImages(store), std::vector<std::string>{file});
    const auto summary = nlohmann::json::parse(sim->Output());
    EXPECT_EQ(pyrrow::test::EventSchemaProblems(sim->Output()), "");
    EXPECT_EQ(summary["units"][0]["uploads"][0]["bytes"], file.size());
}

// TCP: frames of 1024, 1024 and 5 bytes; serial: blocks of 256, 256, 256 and 7.
INSTANTIATE_TEST_SUITE_P(Links, StoredImage,
                         testing::Values(LinkCase{"tcp", 32 + 2048 + 5}, LinkCase{"serial", 32 + 3 * 256 + 7}),
                         [](const auto& i) { return std::string(i.param.link); });

struct FaultCase {
    const char* name;
    const char* link;
    const char* fault;
    std::u16string message;
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.fault;
}

class FaultSeenByTheProgram : public SimUpload, public testing::WithParamInterface<FaultCase> {};

TEST_P(FaultSeenByTheProgram, AsTheUnitsFailure)
{
    const FaultCase& c = GetParam();
    auto sim = Start(c.link, {"--fault", c.fault});
    UploadFile(pyrrow::test::Firmware(32 + 4 * 1024));
    EXPECT_EQ(Messages(), std::vector<MessageBoxCall>{UploadError(c.message)});
    sim->Signal(SIGTERM);  // a busy unit has no upload to end with
    EXPECT_EQ(sim->Wait(), 1) << sim->Errors();
    EXPECT_TRUE(pyrrow::test::StoredImages(store).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultSeenByTheProgram,
    testing::Values(FaultCase{"HeaderStatus", "tcp", "header:status=1", u"HeaderTCP error"},
                    FaultCase{"DroppedAck", "tcp", "ack:drop@frame=1", u"receive response error"},
                    FaultCase{"Busy", "serial", "busy", u"Nepodařilo se připojit ke zvolenému portu!"},
                    FaultCase{"Hangup", "serial", "link:hangup@bytes=600", u"Write error"}),
    [](const auto& i) { return std::string(i.param.name); });

}  // namespace
