// pyrrow-sim as a script meets it: usage errors, hostile files and a
// missing or locked /dev/uhid end with exit code 2 and say what to do, the default port moves
// on to the next free one, and a stop request ends it cleanly.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/dialog_fixture.h"
#include "support/json_schema.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using pyrrow::test::SimProcess;

struct UsageCase {
    std::vector<std::string> args;
    std::string says;
};

// Options and the files they name, as a careless or hostile user gives
// them: each is refused at once (a FIFO or a device is never waited on nor
// read), with exit code 2 and the reason.
TEST(SimCommandLine, HostileInputsEndWithCode2AndSayWhy)
{
    pyrrow::test::TempDir dir;
    const std::string fifo = (dir.path() / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string plain = (dir.path() / "notes.txt").string();
    pyrrow::test::WriteBytes(plain, "someone's notes\n");
    const std::string huge = (dir.path() / "huge.fw").string();
    pyrrow::test::WriteBytes(huge, "");
    std::filesystem::resize_file(huge, (64u << 20) + 1);  // sparse
    // A port name that is none: were it opened before the options are
    // checked, the case would fail rather than touch a real port.
    const std::string port = (dir.path() / "ttyS0").string();

    const UsageCase cases[] = {
        {{"tcp", "--fault", "header:loud"}, "unknown fault \"header:loud\""},
        {{"tcp", "--fault", "ack:short@frame=x"}, "must read ack:short@frame=K"},
        {{"tcp", "--fault", "header:status=70000"}, "N must be 0 to 65535"},
        {{"serial", "--fault", "ack:drop@frame=1"}, "not offered on the serial link"},
        {{"tcp", "--fault", "header:silent", "--fault", "header:split"}, "both decide the header answer"},
        {{"tcp", "--count", "2", "--fault", "busy@unit=3"}, "names unit 3 of 2"},
        {{"tcp", "--listen", "127.0.0.1:99999"}, "give ADDR:PORT"},
        {{"serial", "--port", port, "--link", (dir.path() / "link").string()}, "--link excludes --port"},
        {{"--once"}, "serial   a unit on a pseudo-terminal"},  // each link with its purpose
        {{"usb", "--uhid", "/nonexistent/uhid"}, "sudo modprobe uhid"},
        {{"usb", "--uhid", "/dev/null/uhid"}, "/dev/null/uhid"},
        {{"tcp", "--expect", fifo}, "--expect: " + fifo + " is a FIFO, not a regular file"},
        {{"tcp", "--expect", "/dev/zero"}, "/dev/zero is a device, not a regular file"},
        {{"tcp", "--expect", dir.path().string()}, "is a folder, not a regular file"},
        {{"tcp", "--expect", huge}, "is larger than 67108864 bytes"},
        {{"tcp", "--expect", plain}, "fewer than a header's 32"},
        {{"tcp", "--expect", (dir.path() / "missing").string()}, "No such file or directory"},
        {{"tcp", "--trace", fifo}, "--trace: " + fifo + " is a FIFO, not a regular file"},
        {{"tcp", "--trace", plain}, "is no trace of pyrrow-sim; it is left alone"},
        {{"tcp", "--trace", "/dev/null"}, "is a device"},
        {{"tcp", "--store", plain}, "cannot make the store folder"},
        {{"tcp", "--idle-timeout", "nan"}, "--idle-timeout: give seconds from 0 to 86400"},
        {{"tcp", "--units", "2", "--gap", "inf"}, "--gap: give seconds from 0 to 3600"},
        {{"tcp", "--gap", "1"}, "--gap requires --units"},
        {{"tcp", "--units", "0"}, "--units"},
        {{"serial", "--port", port, "--units", "2"}, "--units needs the pseudo-terminal"},
        // An unset variable in a script: --expect "" would pass any image.
        {{"tcp", "--once", "--expect", ""}, "--expect is empty"},
        {{"tcp", "--store", ""}, "--store is empty"},
        {{"tcp", "--trace", ""}, "--trace is empty"},
        {{"serial", "--link", ""}, "--link is empty"},
    };
    for (const UsageCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        SimProcess sim(c.args);
        EXPECT_EQ(sim.Wait(std::chrono::seconds(5)), 2);
        EXPECT_NE(sim.Errors().find(c.says), std::string::npos) << sim.Errors();
        EXPECT_TRUE(sim.Output().empty());
    }
    // Nothing refused was changed.
    EXPECT_EQ(pyrrow::test::ReadBytes(plain), "someone's notes\n");
}

TEST(SimCommandLine, UhidThatIsNoDeviceOrMayNotBeWritten)
{
    pyrrow::test::TempDir dir;
    pyrrow::test::WriteBytes(dir.path() / "file", "");
    SimProcess plain({"usb", "--uhid", (dir.path() / "file").string()});
    EXPECT_EQ(plain.Wait(), 2);
    EXPECT_NE(plain.Errors().find("is not the uhid device"), std::string::npos) << plain.Errors();

    // A character device only root may write (the null device's numbers).
    const std::string node = (dir.path() / "uhid").string();
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "no device node can be made here";
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    SimProcess denied({"usb", "--uhid", node}, /*asNobody=*/true);
    const int code = denied.Wait();
    if (code == 126 || code == 127)
        GTEST_SKIP() << "the user nobody cannot run the simulator from this folder";
    EXPECT_EQ(code, 2);
    EXPECT_NE(denied.Errors().find("Permission denied"), std::string::npos) << denied.Errors();
    EXPECT_NE(denied.Errors().find("crw-------"), std::string::npos) << denied.Errors();
}

// Every USB unit has a serial number of its own, also across simulators, so
// that the address printed selects exactly that unit. The null device
// stands in for /dev/uhid: it takes the device's creation and reads as
// closed, so each unit goes at once and the next of --units comes.
TEST(SimCommandLine, UsbUnitsHaveSerialNumbersOfTheirOwn)
{
    std::set<std::string> addresses;
    for (int run = 0; run < 2; ++run) {
        SimProcess sim({"usb", "--uhid", "/dev/null", "--units", "2", "--gap", "0"});
        for (int unit = 0; unit < 2; ++unit) {
            const std::string address = sim.ReadLine();
            EXPECT_EQ(address.rfind("usb:serial=PYRROW-SIM-", 0), 0u) << address;
            addresses.insert(address);
        }
        EXPECT_EQ(sim.Wait(), 1) << sim.Errors();  // units without an upload
    }
    EXPECT_EQ(addresses.size(), 4u);
}

// --port: the unit on a tty the user names, here the slave of a
// pseudo-terminal whose master plays the program. No close shows there, so
// the upload ends when the line falls quiet.
TEST(SimCommandLine, NamedPortTakesAnUploadThatEndsWhenTheLineFallsQuiet)
{
    pyrrow::test::TempDir dir;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string port = ::ptsname(master);
    const std::filesystem::path store = dir.path() / "store";
    SimProcess sim({"serial", "--port", port, "--once", "--store", store.string()});
    ASSERT_EQ(sim.ReadLine(), port);

    const std::string file = pyrrow::test::Firmware(32 + 300);
    ASSERT_EQ(::write(master, file.data(), 32), 32);
    std::string answer;
    pollfd readable{master, POLLIN, 0};
    while (answer.size() < 32 && ::poll(&readable, 1, 5000) == 1) {
        char buffer[64];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(answer.size(), 32u);
    ASSERT_EQ(::write(master, file.data() + 32, 300), 300);
    EXPECT_EQ(sim.Wait(), 0) << sim.Errors();
    EXPECT_EQ(pyrrow::test::StoredImages(store), std::vector<std::string>{file});
    EXPECT_NE(sim.Errors().find("fell quiet"), std::string::npos) << sim.Errors();
    ::close(master);
}

TEST(SimCommandLine, DefaultPortsAreConsecutiveAndMoveOnWhenTaken)
{
    SimProcess first({"tcp", "--count", "2"});
    const std::uint16_t a = first.ReadPort();
    const std::uint16_t b = first.ReadPort();
    SimProcess second({"tcp"});
    const std::uint16_t c = second.ReadPort();
    EXPECT_GE(a, 1998);
    EXPECT_EQ(b, a + 1);
    EXPECT_GT(c, b);
    EXPECT_LT(c, 1998 + 100);
}

TEST(SimCommandLine, StopRequestEndsCleanly)
{
    pyrrow::test::TempDir dir;
    const std::filesystem::path link = dir.path() / "port";
    for (const int signal : {SIGTERM, SIGQUIT}) {
        SimProcess sim({"serial", "--link", link.string()});
        const std::string path = sim.ReadLine();
        EXPECT_EQ(std::filesystem::read_symlink(link), path);
        sim.Signal(signal);
        EXPECT_EQ(sim.Wait(), 0);
        EXPECT_NE(sim.Errors().find(signal == SIGTERM ? "SIGTERM" : "SIGQUIT"), std::string::npos);
        // (Whether the pseudo-terminal went too cannot be seen from here: a
        // test running beside this one may get its number at once.)
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    for (const int signal : {SIGINT, SIGHUP}) {
        // --once without an upload: stopped, so incomplete; the summary still
        // comes, and a trace of the run before is replaced.
        SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--once", "--json", "--trace",
                        (dir.path() / "trace").string()});
        EXPECT_NE(sim.ReadPort(), 0);
        sim.Signal(signal);
        EXPECT_EQ(sim.Wait(std::chrono::seconds(2)), 1) << sim.Errors();
        const auto summary = nlohmann::json::parse(sim.Output());
        EXPECT_EQ(pyrrow::test::EventSchemaProblems(sim.Output()), "");
        EXPECT_EQ(summary["exit_code"], 1);
        EXPECT_TRUE(summary["units"][0]["uploads"].empty());
        EXPECT_TRUE(std::filesystem::exists(dir.path() / "trace"));
    }
}

}  // namespace
