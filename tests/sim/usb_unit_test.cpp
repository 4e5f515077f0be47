// The USB unit over a stand-in for /dev/uhid: one end of a socket pair, on
// whose other end the test plays the kernel (events in, events out), since
// build machines offer no user-space HID.
#include <linux/uhid.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/recorder.h"
#include "sim/units/usb_unit.h"
#include "support/dialog_fixture.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using namespace pyrrow::sim;

class UsbUnitTest : public testing::Test {
protected:
    UsbUnitTest()
    {
        int pair[2];
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair);
        kernel = pair[0];
        device = UhidDevice::Adopt(io, pair[1]);
        recorder = std::move(Recorder::Open({dir.path().string(), "", ""}).recorder);
    }
    ~UsbUnitTest() override { ::close(kernel); }

    void Send(std::uint32_t type, const std::string& data = {})
    {
        auto e = std::make_unique<uhid_event>();
        std::memset(e.get(), 0, sizeof *e);
        e->type = type;
        e->u.output.size = static_cast<__u16>(data.size());
        std::memcpy(e->u.output.data, data.data(), data.size());
        ASSERT_EQ(::write(kernel, e.get(), sizeof *e), static_cast<ssize_t>(sizeof *e));
    }

    // The events the unit wrote, oldest first.
    std::vector<std::unique_ptr<uhid_event>> Events()
    {
        std::vector<std::unique_ptr<uhid_event>> events;
        for (;;) {
            auto e = std::make_unique<uhid_event>();
            const ssize_t n = ::read(kernel, e.get(), sizeof *e);
            // A unit that went away with events unread resets the pair once.
            if (n < 0 && errno == ECONNRESET)
                continue;
            if (n <= 0)
                return events;
            events.push_back(std::move(e));
        }
    }

    // Runs a unit with the faults given until its one upload ended.
    void Run(const std::vector<std::string>& faults)
    {
        std::vector<Fault> parsed;
        for (const auto& f : faults)
            parsed.push_back(*ParseFault(f, Link::Usb).fault);
        recorder->AddUnit("usb-1", Link::Usb, "usb:serial=S1");
        UsbUnit::Settings s{{"usb-1", FaultPlan(parsed, 1), true, [this] { io.stop(); }}, "S1"};
        pyrrow::platform::SystemError failure;
        unit = UsbUnit::Create(io, *recorder, s, std::move(device), &failure);
        ASSERT_TRUE(unit) << failure.text;
        io.run();
        unit.reset();
    }

    // An output report as hidraw hands it over: report id 0, then 64 bytes.
    static std::string Report(const std::string& payload)
    {
        std::string r(1, '\0');
        r += payload;
        r.resize(65, '\0');
        return r;
    }

    pyrrow::test::TempDir dir;
    asio::io_context io;
    int kernel = -1;
    std::unique_ptr<UhidDevice> device;
    std::unique_ptr<Recorder> recorder;
    std::unique_ptr<UsbUnit> unit;
};

TEST_F(UsbUnitTest, IsTheProductsHidDeviceAndStoresWhatItReceived)
{
    const std::string file = pyrrow::test::Firmware(32 + 64 + 1);
    Send(UHID_START);
    Send(UHID_OPEN);
    Send(UHID_OUTPUT, Report(file.substr(0, 32)));
    Send(UHID_OUTPUT, Report(file.substr(32, 64)));
    Send(UHID_OUTPUT, Report(file.substr(96)));
    Send(UHID_CLOSE);
    Run({});

    const auto events = Events();
    ASSERT_EQ(events.size(), 3u);  // created, answered the header, destroyed
    ASSERT_EQ(events[0]->type, UHID_CREATE2);
    EXPECT_EQ(events[0]->u.create2.vendor, 0x0483u);
    EXPECT_EQ(events[0]->u.create2.product, 0xA151u);
    EXPECT_EQ(events[0]->u.create2.bus, BUS_USB);
    const auto descriptor = UsbUnit::ReportDescriptor();
    ASSERT_EQ(events[0]->u.create2.rd_size, descriptor.size());
    EXPECT_EQ(std::memcmp(events[0]->u.create2.rd_data, descriptor.data(), descriptor.size()), 0);
    ASSERT_EQ(events[1]->type, UHID_INPUT2);
    EXPECT_EQ(events[1]->u.input2.size, 64);
    EXPECT_EQ(events[2]->type, UHID_DESTROY);
    // The zero padding of the last report reached the unit as data.
    EXPECT_EQ(pyrrow::test::StoredImages(dir.path()), std::vector<std::string>{file + std::string(63, '\0')});
}

struct FaultCase {
    std::string fault;
    bool answered;      // an input report answered the header
    std::size_t bytes;  // of the image when the upload ended
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.fault;
}

class UsbUnitFault : public UsbUnitTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(UsbUnitFault, EndsTheUploadIncomplete)
{
    const FaultCase& c = GetParam();
    Send(UHID_OPEN);
    for (int i = 0; i < 4; ++i)
        Send(UHID_OUTPUT, Report(std::string(64, static_cast<char>(i + 1))));
    Send(UHID_CLOSE);
    Run({c.fault});

    std::vector<std::uint32_t> types;
    for (const auto& e : Events())
        types.push_back(e->type);
    std::vector<std::uint32_t> expected{UHID_CREATE2};
    if (c.answered)
        expected.push_back(UHID_INPUT2);
    expected.push_back(UHID_DESTROY);
    EXPECT_EQ(types, expected);
    EXPECT_TRUE(pyrrow::test::StoredImages(dir.path()).empty());
    EXPECT_FALSE(recorder->EveryUploadAsExpected(1));
    const auto upload = nlohmann::json::parse(recorder->SummaryJson(1))["units"][0]["uploads"][0];
    EXPECT_EQ(upload["bytes"], c.bytes);
    EXPECT_EQ(upload["faults"], std::vector<std::string>{c.fault});
}

INSTANTIATE_TEST_SUITE_P(Faults, UsbUnitFault,
                         testing::Values(FaultCase{"header:silent", false, 32 + 3 * 64},
                                         // gone after the header and one data report
                                         FaultCase{"link:hangup@bytes=128", true, 32 + 64}));

}  // namespace
