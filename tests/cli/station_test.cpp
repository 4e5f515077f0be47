// The station: units that come and go on fixtures of their own, each
// flashed and recorded. The units are pyrrow-sim processes started and
// ended by the test; USB units are a scripted enumeration.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <functional>
#include <map>
#include <set>
#include <span>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/flash/device_uri.h"
#include "cli/output/unit_log.h"
#include "cli/station/unit_wait.h"
#include "console/text.h"
#include "platform/files/sha256.h"
#include "platform/serial/serial_aliases.h"
#include "support/cli_run.h"
#include "support/json_schema.h"
#include "support/mqtt_broker.h"
#include "support/named_row.h"
#include "support/sim_process.h"
#include "support/tcp_device.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using namespace pyrrow::test;

std::string Image(std::size_t size)
{
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i)
        bytes += static_cast<char>((i * 13 + 5) & 0xFF);
    return bytes;
}

// The records of a --log, each checked against the documented schema.
std::vector<json> Lines(const std::filesystem::path& file)
{
    EXPECT_EQ(pyrrow::test::EventSchemaProblems(pyrrow::test::ReadBytes(file), "log_record"), "") << file;
    std::vector<json> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line));
    return lines;
}

// Plays units one after another on one fixture: each a simulator that
// takes one upload and ends, so that the port closes or the link goes; the
// next comes once the station has said that the last one left (a "left"
// event of the fixture on its standard output, which Saw is given), after
// beforeUnit (given the unit's number from 0) has done what the test wants
// done between units.
class Line {
public:
    Line(std::vector<std::string> args, int units, const std::string& fixture,
         std::function<void(int)> beforeUnit = {})
        : m_left("\"event\":\"left\",\"unit\":\"" + fixture + "\""),
          m_thread([this, args, units, beforeUnit] {
              for (int i = 0; i < units && !m_stop; ++i) {
                  if (i > 0 && !WaitForDepartures(i))
                      break;
                  if (beforeUnit)
                      beforeUnit(i);
                  SimProcess sim(args);
                  sim.ReadLine();
                  if (sim.Wait(20s) != 0)
                      ++failures;
              }
          })
    {
    }
    ~Line()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
    // What the station has printed so far.
    void Saw(const std::string& out)
    {
        int left = 0;
        for (std::size_t at = out.find(m_left); at != std::string::npos; at = out.find(m_left, at + 1))
            ++left;
        {
            const std::lock_guard lock(m_mutex);
            m_departures = left;
        }
        m_changed.notify_all();
    }
    std::atomic<int> failures{0};

private:
    bool WaitForDepartures(int count)
    {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_for(lock, 20s, [&] { return m_stop || m_departures >= count; }))
            return !m_stop;
        ++failures;  // the station never saw the last unit leave
        return false;
    }

    const std::string m_left;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_departures = 0;
    std::atomic<bool> m_stop{false};  // set under m_mutex, so that a wait cannot miss it
    std::thread m_thread;
};

class Station : public testing::Test {
protected:
    std::string WriteImage(const std::string& bytes)
    {
        pyrrow::test::WriteBytes(dir.path() / "unit.fw", bytes);
        return (dir.path() / "unit.fw").string();
    }
    pyrrow::test::TempDir dir;
};

// The log is rotated (renamed) after the first record: the records go on
// at the path, in a log made anew, and the move is said.
TEST_F(Station, TwoFixturesFlashThreeUnitsEachInARowAndLogEveryOne)
{
    const std::string image = Image(3000);
    const std::string firmware = WriteImage(image);
    const std::uint16_t port = pyrrow::test::UnusedLoopbackPort();
    const std::string link = (dir.path() / "fixture-tty").string();
    const std::string store = (dir.path() / "store").string();
    const std::string log = (dir.path() / "units.jsonl").string();
    std::optional<CliOutcome> outcome;
    {
        Line tcp({"--once", "--store", store, "tcp", "--listen", "127.0.0.1:" + std::to_string(port)}, 3,
                 "tcp:127.0.0.1:" + std::to_string(port));
        Line serial({"--once", "--store", store, "serial", "--link", link}, 3, "serial:" + link);
        bool rotated = false;
        outcome = RunCli({"flash", firmware, "--json", "--repeat", "--count", "3", "--log", log, "--device",
                          "tcp:127.0.0.1:" + std::to_string(port), "--device", "serial:" + link},
                         [&](const std::string& out, pid_t) {
                             tcp.Saw(out);
                             serial.Saw(out);
                             if (!rotated && out.find("\"event\":\"result\"") != std::string::npos)
                                 rotated = std::rename(log.c_str(), (log + ".1").c_str()) == 0;
                         });
        EXPECT_EQ(tcp.failures + serial.failures, 0);
        EXPECT_TRUE(rotated);
    }
    EXPECT_EQ(outcome->exitCode, 0) << outcome->err;
    EXPECT_NE(outcome->err.find("no longer named the log the station had open"), std::string::npos) << outcome->err;
    const auto stored = pyrrow::test::StoredImages(store);
    ASSERT_EQ(stored.size(), 6u);
    for (const std::string& each : stored)
        EXPECT_EQ(each, image);
    const auto rotatedLines = Lines(log + ".1");
    EXPECT_GE(rotatedLines.size(), 1u);
    auto lines = Lines(log);
    EXPECT_GE(lines.size(), 1u);
    lines.insert(lines.end(), rotatedLines.begin(), rotatedLines.end());
    ASSERT_EQ(lines.size(), 6u);
    // Each fixture numbers its units from 1, in its records and its events.
    std::map<std::string, int> perFixture;
    std::map<std::string, std::vector<int>> numbers;
    for (const json& line : lines) {
        ++perFixture[line["fixture"]];
        numbers[line["fixture"]].push_back(line["n"]);
        EXPECT_EQ(line["result"], "ok");
        EXPECT_EQ(line["firmware"]["sha256"], outcome->Events().front()["sha256"]);
        EXPECT_EQ(line["firmware"]["size"], image.size());
        EXPECT_EQ(line["firmware"]["path"], firmware);
        EXPECT_EQ(line["bytes_sent"], image.size());
        EXPECT_TRUE(line["unit"]["link"] == "tcp" ? line["unit"]["address"] == "127.0.0.1:" + std::to_string(port)
                                                  : line["unit"]["path"] == link)
            << line;
    }
    EXPECT_EQ(perFixture.size(), 2u);
    for (const auto& [fixture, units] : perFixture)
        EXPECT_EQ(units, 3) << fixture;
    std::map<std::string, std::vector<int>> resultNumbers;
    for (const json& result : outcome->Results())
        resultNumbers[result["unit"]].push_back(result["n"]);
    for (auto& [fixture, n] : numbers) {
        std::sort(n.begin(), n.end());
        EXPECT_EQ(n, (std::vector<int>{1, 2, 3})) << fixture;
        EXPECT_EQ(resultNumbers[fixture], (std::vector<int>{1, 2, 3})) << fixture;
    }
    const json summary = outcome->Events().back();
    EXPECT_EQ(summary["units"], 6);
    EXPECT_EQ(summary["ok"], 6);

    // A later run adds to this log, whose lines are records of ours; a unit
    // that never comes is no unit, and adds no record.
    const CliOutcome again = RunCli({"flash", firmware, "--json", "--wait", "--wait-timeout", "0.3", "--log", log,
                                     "--device", "tcp:127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(again.exitCode, 5) << again.err;
    EXPECT_EQ(again.Events().back()["units"], 0);
    EXPECT_EQ(again.Events().back()["ended_waiting"], 1);
    EXPECT_EQ(Lines(log).size() + rotatedLines.size(), 6u);
}

// Units replaced at once: the simulator removes the old port and makes the
// new one at the same path between two looks of the station, mostly under
// the same pseudo-terminal number. Each unit is seen to leave, is flashed
// and shows its own progress (plain lines, since standard error is a pipe).
TEST_F(Station, UnitsReplacedAtOnceAreEachSeenToLeaveAndShowTheirProgress)
{
    const std::string firmware = WriteImage(Image(6000));
    const std::string link = (dir.path() / "fixture-tty").string();
    SimProcess sim({"serial", "--link", link, "--units", "3", "--gap", "0", "--expect", firmware});
    sim.ReadLine();
    const CliOutcome outcome = RunCli({"flash", firmware, "--repeat", "--count", "3", "--device", "serial:" + link});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(sim.Wait(10s), 0) << sim.Errors();
    // The progress lines of each unit, up to its "ok".
    std::vector<int> progress(1, 0);
    std::istringstream lines(outcome.err);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(": ok in ") != std::string::npos)
            progress.push_back(0);
        else if (line.find("% (") != std::string::npos)
            ++progress.back();
    }
    ASSERT_EQ(progress.size(), 4u) << outcome.err;
    EXPECT_GE(progress[0], 5) << outcome.err;
    for (std::size_t unit = 1; unit < 3; ++unit)
        EXPECT_EQ(progress[unit], progress[0]) << "unit " << unit + 1 << "\n" << outcome.err;
}

// Names that are not UTF-8 (bytes to the system): the station finds the
// port by its bytes, and every record, event and trace line names the very
// bytes, each byte that is not UTF-8 written as \udcXX (Python's
// os.fsencode of the decoded text gives the bytes back).
TEST_F(Station, PathsThatAreNotUtf8AreRecordedAsTheirBytes)
{
    const std::string folder = dir.path().string();  // ASCII
    const std::string firmware = folder + "/fw-\xe9.fw";
    pyrrow::test::WriteBytes(firmware, Image(900));
    const std::string link = folder + "/tty-\xe9\xff";
    const std::string trace = folder + "/trace-\xe9.jsonl";
    const std::string log = folder + "/units.jsonl";
    const std::string escapedFirmware = folder + "/fw-\\udce9.fw";
    const std::string escapedLink = folder + "/tty-\\udce9\\udcff";
    std::optional<CliOutcome> outcome;
    {
        Line serial({"--once", "serial", "--link", link}, 2, "serial:" + escapedLink);
        outcome = RunCli({"flash", firmware, "--json", "--repeat", "--count", "2", "--wait-timeout", "10", "--log",
                          log, "--trace", trace, "--device", "serial:" + link},
                         [&](const std::string& out, pid_t) { serial.Saw(out); });
        EXPECT_EQ(serial.failures, 0);
    }
    EXPECT_EQ(outcome->exitCode, 0) << outcome->err;
    EXPECT_NE(outcome->out.find("\"file\":\"" + escapedFirmware + "\""), std::string::npos) << outcome->out;
    EXPECT_NE(outcome->out.find("\"device\":\"" + escapedLink + "\""), std::string::npos) << outcome->out;
    std::istringstream records(pyrrow::test::ReadBytes(log));
    int count = 0;
    for (std::string record; std::getline(records, record); ++count) {
        EXPECT_NE(record.find("\"fixture\":\"serial:" + escapedLink + "\""), std::string::npos) << record;
        EXPECT_NE(record.find("\"path\":\"" + escapedLink + "\""), std::string::npos) << record;
        EXPECT_NE(record.find("\"path\":\"" + escapedFirmware + "\""), std::string::npos) << record;
        EXPECT_NE(record.find("\"result\":\"ok\""), std::string::npos) << record;
        EXPECT_TRUE(pyrrow::cli::IsRecordLine(record)) << record;
    }
    EXPECT_EQ(count, 2);
    EXPECT_NE(pyrrow::test::ReadBytes(trace).find("\"unit\":\"serial:" + escapedLink + "\""), std::string::npos);
    // A script gets the bytes back.
    if (std::system("python3 -c '' 2>/dev/null") == 0) {
        const std::string script = folder + "/bytes.py";
        pyrrow::test::WriteBytes(script, "import json, os, sys\n"
                                         "record = json.loads(open(sys.argv[1]).readline())\n"
                                         "out = open(sys.argv[2], 'wb')\n"
                                         "out.write(os.fsencode(record['firmware']['path']) + b'\\n')\n"
                                         "out.write(os.fsencode(record['unit']['path']))\n");
        const std::string bytes = folder + "/bytes";
        ASSERT_EQ(std::system(("python3 " + script + " " + log + " " + bytes).c_str()), 0);
        EXPECT_EQ(pyrrow::test::ReadBytes(bytes), firmware + "\n" + link);
    }
}

// Nobody comes: the wait-timeout ends it with 5, and there is no unit to
// count or record; a signal while waiting or while flashing ends it with
// 130, at once.
struct Ending {
    std::string name;
    std::vector<std::string> options;
    bool unit;            // a unit (slow, large image) is in the fixture
    std::string signalOn;  // stdout text after which SIGINT is sent; empty: none
    int exitCode;
    int units;  // in the summary, and records in the log
    int endedWaiting;  // fixtures that no unit came to
};

using pyrrow::test::PrintTo;

class Endings : public Station, public testing::WithParamInterface<Ending> {};

TEST_P(Endings, AreBoundedAndCounted)
{
    const Ending& ending = GetParam();
    const std::string firmware = WriteImage(Image(60 * 1024));
    std::optional<SimProcess> sim;
    std::uint16_t port = pyrrow::test::UnusedLoopbackPort();
    if (ending.unit) {
        sim.emplace(std::vector<std::string>{"--fault", "slow=1", "tcp", "--listen", "127.0.0.1:0"});
        port = sim->ReadPort();
    }
    const std::string log = (dir.path() / "units.jsonl").string();
    std::vector<std::string> args{"flash", firmware, "--json", "--log", log, "--device",
                                  "tcp:127.0.0.1:" + std::to_string(port)};
    args.insert(args.end(), ending.options.begin(), ending.options.end());
    bool signalled = false;
    std::chrono::steady_clock::time_point at;
    const CliOutcome outcome = RunCli(args, [&](const std::string& out, pid_t pid) {
        if (!signalled && !ending.signalOn.empty() && out.find(ending.signalOn) != std::string::npos) {
            signalled = true;
            at = std::chrono::steady_clock::now();
            ::kill(pid, SIGINT);
        }
    });
    EXPECT_EQ(outcome.exitCode, ending.exitCode) << outcome.err;
    if (!ending.signalOn.empty()) {
        ASSERT_TRUE(signalled) << outcome.out;
        EXPECT_LT(std::chrono::steady_clock::now() - at, 1500ms);
    }
    EXPECT_EQ(outcome.Events().back()["units"], ending.units) << outcome.out;
    EXPECT_EQ(outcome.Events().back()["ended_waiting"], ending.endedWaiting) << outcome.out;
    EXPECT_EQ(Lines(log).size(), static_cast<std::size_t>(ending.units));
    if (sim)
        sim->Signal(SIGTERM);
}

INSTANTIATE_TEST_SUITE_P(
    Station, Endings,
    testing::Values(Ending{"wait_timeout", {"--wait", "--wait-timeout", "0.6"}, false, "", 5, 0, 1},
                    Ending{"repeat_timeout", {"--repeat", "--wait-timeout", "0.6"}, false, "", 5, 0, 1},
                    Ending{"sigint_waiting", {"--repeat"}, false, "\"for\":\"arrival\"", 130, 0, 0},
                    Ending{"sigint_flashing", {"--repeat"}, true, "\"phase\":\"data\"", 130, 1, 0}),
    [](const auto& param) { return param.param.name; });

// A unit left in its fixture after its upload is said on standard error,
// so that a station that waits is not taken for one that hangs; a stop
// ends that wait at once too.
TEST_F(Station, AUnitLeftInItsFixtureIsSaidAndTheWaitStops)
{
    const std::string firmware = WriteImage(Image(2048));
    SimProcess sim({"tcp", "--listen", "127.0.0.1:0"});
    const std::string fixture = "tcp:127.0.0.1:" + std::to_string(sim.ReadPort());
    std::thread stopper;
    std::chrono::steady_clock::time_point signalled;
    const CliOutcome outcome = RunCli({"flash", firmware, "--json", "--repeat", "--device", fixture},
                                      [&](const std::string& out, pid_t pid) {
                                          if (!stopper.joinable() && out.find("\"for\":\"departure\"") != std::string::npos)
                                              stopper = std::thread([&, pid] {
                                                  std::this_thread::sleep_for(pyrrow::cli::kStillThereAfter + 700ms);
                                                  signalled = std::chrono::steady_clock::now();
                                                  ::kill(pid, SIGINT);
                                              });
                                      });
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(stopper.joinable()) << outcome.out << outcome.err;
    stopper.join();
    EXPECT_LT(ended - signalled, 1s);
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    EXPECT_NE(outcome.err.find(fixture + ": unit 1 still accepts connections; take it out"), std::string::npos)
        << outcome.err;
    sim.Signal(SIGTERM);
}

TEST_F(Station, ALogThatCannotBeWrittenStopsTheStationBeforeTheNextUnit)
{
    const std::filesystem::path disk = dir.path() / "disk";
    std::filesystem::create_directory(disk);
    if (::geteuid() != 0 || ::mount("station-test", disk.c_str(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "a full disk needs a tmpfs, which only root can mount here";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk.string()};
    const std::string log = (disk / "units.jsonl").string();
    { std::ofstream touch(log); }
    {
        std::ofstream filler(disk / "filler");
        const std::string block(1024, 'x');
        for (int i = 0; i < 64 && filler; ++i)
            filler << block << std::flush;
    }
    const std::string firmware = WriteImage(Image(2000));
    // Two units, the second ready to be flashed a second after the first:
    // the station must stop before it. Once it has, nobody waits for it.
    SimProcess sim({"tcp", "--listen", "127.0.0.1:0", "--units", "2", "--gap", "1"});
    const std::uint16_t port = sim.ReadPort();
    const CliOutcome outcome = RunCli({"flash", firmware, "--json", "--repeat", "--count", "2", "--log", log,
                                       "--device", "tcp:127.0.0.1:" + std::to_string(port)});
    sim.Signal(SIGTERM);
    EXPECT_EQ(outcome.exitCode, 12) << outcome.err;
    EXPECT_NE(outcome.err.find("No space left on device"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("the station stops"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.Events().back()["units"], 1);
    EXPECT_EQ(std::filesystem::file_size(log), 0u);
    sim.Wait();
    const std::string& simErrors = sim.Errors();
    const std::size_t first = simErrors.find("upload ended");
    EXPECT_NE(first, std::string::npos) << simErrors;
    EXPECT_EQ(simErrors.find("upload ended", first + 1), std::string::npos) << simErrors;
}

TEST_F(Station, ALogThatIsNotALogFileIsRefusedAtOnceAndLeftAsItWas)
{
    const std::string image = Image(500);
    const std::string firmware = WriteImage(image);
    const std::filesystem::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::uint16_t port = pyrrow::test::UnusedLoopbackPort();
    const std::string record = R"({"v":1,"start":"2026-12-07T21:30:05.123Z","end":"2026-12-07T21:30:06.123Z",)"
                               R"("host":"line3","fixture":"usb","unit":{"link":"usb"},"firmware":{},"result":"ok"})";
    const std::string log = (dir.path() / "units.jsonl").string();
    pyrrow::test::WriteBytes(log, record + "\n");
    const std::string events = (dir.path() / "events.jsonl").string();
    pyrrow::test::WriteBytes(events, R"({"v":1,"event":"start","units":[]})" "\n");
    const std::string spoilt = (dir.path() / "spoilt.jsonl").string();
    pyrrow::test::WriteBytes(spoilt, record + "\n{\"v\":1}\n");
    const std::string trace = (dir.path() / "trace.jsonl").string();
    const std::string errors = (dir.path() / "errors.txt").string();
    // Standard error into the file named: the shell makes it empty first.
    const std::vector<std::string> errorsInto = {"sh", "-c", "exec \"$0\" \"$@\" 2>" + errors};
    struct Refusal {
        std::vector<std::string> options;
        int exitCode;
        std::string text;
        std::vector<std::string> launcher = {};
    };
    const Refusal refused[] = {
        {{"--log", fifo.string()}, 12, "is not a regular file"},
        {{"--log", firmware}, 12, "is a file this run reads or writes"},
        {{"--log", dir.path().string()}, 12, "cannot open"},
        {{"--log", events}, 12, "is not a log of pyrrow-cli (line 1 is no record of it)"},
        {{"--log", spoilt}, 12, "is not a log of pyrrow-cli (line 2 is no record of it)"},
        // The trace this run writes, made just before: empty, so only its identity tells.
        {{"--trace", trace, "--log", trace}, 12, "is a file this run reads or writes"},
        {{"--trace", log}, 2, "it is a log of pyrrow-cli (--log)"},
        {{"--log", errors}, 12, "is a file this run reads or writes", errorsInto},
        {{"--trace", errors}, 2, "is a file this run reads or writes", errorsInto},
    };
    for (const Refusal& c : refused) {
        std::vector<std::string> args{"flash", firmware, "--json", "--repeat", "--wait-timeout", "1",
                                      "--device", "tcp:127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliOutcome outcome = RunCli(args, {}, c.launcher);
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.options.back();
        EXPECT_NE(outcome.out.find(c.text), std::string::npos) << outcome.out;
    }
    std::ifstream in(firmware, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), image);
    EXPECT_EQ(pyrrow::test::ReadBytes(log), record + "\n");
    EXPECT_EQ(pyrrow::test::ReadBytes(spoilt), record + "\n{\"v\":1}\n");
}

std::string Digest(const std::string& bytes)
{
    return pyrrow::console::Sha256Hex(
        std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The lines of a file as their text.
std::multiset<std::string> TextLines(const std::filesystem::path& file)
{
    std::multiset<std::string> lines;
    std::istringstream in(pyrrow::test::ReadBytes(file));
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    return lines;
}

std::multiset<std::string> Payloads(const std::vector<MqttMessage>& messages, const std::string& topic)
{
    std::multiset<std::string> payloads;
    for (const MqttMessage& message : messages)
        if (message.topic == topic)
            payloads.insert(message.payload);
    return payloads;
}

// --sha256 pins the image: a file with one byte changed is refused before
// any unit is touched (the unit sees no connection), whichever way the
// digest is given; the image itself passes, also named in a file of
// sha256sum with other lines.
TEST_F(Station, APinnedImageRefusesAnyOtherFileBeforeAUnitIsTouched)
{
    const std::string image = Image(2000);
    std::string changed = image;
    changed[1500] = static_cast<char>(changed[1500] ^ 0x01);
    const std::string digest = Digest(image);
    std::string upper = digest;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    const std::string sums = (dir.path() / "SHA256SUMS").string();
    pyrrow::test::WriteBytes(sums, std::string(64, '0') + "  other.fw\n" + digest + " *unit.fw\n");
    struct Pin {
        std::string name;
        std::string file;
        std::string pin;
        int exitCode;
    };
    const Pin pins[] = {
        {"hex, one byte changed", changed, digest, 15},
        {"upper-case hex, one byte changed", changed, upper, 15},
        {"sha256sum file, one byte changed", changed, "@" + sums, 15},
        {"sha256sum file, the image", image, "@" + sums, 0},
    };
    for (const Pin& c : pins) {
        const std::string firmware = WriteImage(c.file);
        SimProcess sim({"--json", "tcp", "--listen", "127.0.0.1:0", "--once"});
        const std::uint16_t port = sim.ReadPort();
        const CliOutcome outcome = RunCli(
            {"flash", firmware, "--json", "--sha256", c.pin, "--device", "tcp:127.0.0.1:" + std::to_string(port)});
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name << "\n" << outcome.err;
        if (c.exitCode != 0) {
            EXPECT_NE(outcome.err.find(Digest(changed)), std::string::npos) << outcome.err;
            EXPECT_NE(outcome.err.find(digest), std::string::npos) << outcome.err;
            EXPECT_EQ(outcome.Events().back()["error"]["kind"], "sha256") << c.name;
            sim.Signal(SIGTERM);
        }
        sim.Wait();
        const std::string& out = sim.Output();
        const json summary = json::parse(out.substr(out.rfind('\n', out.size() - 2) + 1));
        EXPECT_EQ(summary["units"][0]["uploads"].size(), c.exitCode == 0 ? 1u : 0u) << c.name;
    }
}

// A station of three units with the image pinned, tags and --publish: the
// broker gets each record as the log has it, byte for byte, and the status
// up to "stopped". The firmware file replaced on the disk meanwhile (another
// file renamed over it, then written in place) changes nothing: the image
// was read once. A station that dies leaves its last will.
TEST_F(Station, TaggedRecordsAndTheStatusReachTheBrokerAndTheImageStaysAsRead)
{
    const std::string image = Image(3000);
    const std::string firmware = WriteImage(image);
    const std::string digest = Digest(image);
    const std::string link = (dir.path() / "fixture-tty").string();
    const std::string store = (dir.path() / "store").string();
    const std::string log = (dir.path() / "units.jsonl").string();
    MqttBroker broker(dir.path() / "broker");
    MqttSubscriber subscriber(broker, "line3");
    const json tags = {{"lot", "L42"}, {"operator", "Jana Nov\xc3\xa1kov\xc3\xa1"}};
    const std::vector<std::string> tagged = {"--tag", "lot=L42", "--tag", "operator=Jana Nov\xc3\xa1kov\xc3\xa1",
                                             "--publish", broker.Url("line3")};
    std::optional<CliOutcome> outcome;
    {
        Line serial({"--once", "--store", store, "serial", "--link", link}, 3, "serial:" + link);
        std::size_t replaced = 0;
        std::vector<std::string> args{"flash", firmware, "--json", "--repeat", "--count", "3", "--log", log,
                                      "--sha256", digest, "--device", "serial:" + link};
        args.insert(args.end(), tagged.begin(), tagged.end());
        outcome = RunCli(args, [&](const std::string& out, pid_t) {
            serial.Saw(out);
            const std::size_t results = Count(out, "\"event\":\"result\"");
            if (results >= 1 && replaced == 0) {
                pyrrow::test::WriteBytes(firmware + ".new", Image(2999));
                std::filesystem::rename(firmware + ".new", firmware);
                ++replaced;
            } else if (results >= 2 && replaced == 1) {
                pyrrow::test::WriteBytes(firmware, Image(4000));
                ++replaced;
            }
        });
        EXPECT_EQ(serial.failures, 0);
        EXPECT_EQ(replaced, 2u);
    }
    EXPECT_EQ(outcome->exitCode, 0) << outcome->err;
    const auto stored = pyrrow::test::StoredImages(store);
    EXPECT_EQ(stored.size(), 3u);
    for (const std::string& each : stored)
        EXPECT_EQ(each, image);
    for (const json& event : outcome->Events())
        EXPECT_EQ(event["tags"], tags) << event;
    EXPECT_EQ(outcome->Events().back()["unacknowledged"], 0);
    std::set<std::string> ids;
    for (const json& record : Lines(log)) {
        ids.insert(record["id"].get<std::string>());
        EXPECT_EQ(record["tags"], tags);
        EXPECT_EQ(record["firmware"]["sha256"], digest);
    }
    EXPECT_EQ(ids.size(), 3u);

    const auto stopped = [](const std::vector<MqttMessage>& got) {
        return !got.empty() && got.back().topic == "line3/status" &&
               got.back().payload.find("\"state\":\"stopped\"") != std::string::npos;
    };
    const std::vector<MqttMessage> got = subscriber.WaitFor(stopped);
    ASSERT_TRUE(stopped(got));
    EXPECT_EQ(Payloads(got, "line3/records"), TextLines(log));
    bool online = false;
    for (const std::string& payload : Payloads(got, "line3/status")) {
        const json status = json::parse(payload);
        EXPECT_EQ(pyrrow::test::JsonSchema::Events().Problem(status, "mqtt_status"), std::nullopt) << payload;
        EXPECT_EQ(status["tags"], tags);
        online = online || status["state"] == "online";
    }
    EXPECT_TRUE(online);
    const json last = json::parse(got.back().payload);
    EXPECT_EQ(last["units"], 3);
    EXPECT_EQ(last["ok"], 3);
    EXPECT_EQ(last["fixtures"][0]["state"], "done");

    // Killed while it waits for a unit, once the broker has its status.
    std::atomic<pid_t> station{0};
    std::thread killer([&] {
        subscriber.WaitFor([&](const std::vector<MqttMessage>& messages) {
            return station.load() != 0 && messages.size() > got.size() &&
                   messages.back().payload.find("\"state\":\"online\"") != std::string::npos;
        });
        if (const pid_t pid = station.load(); pid > 0)
            ::kill(pid, SIGKILL);
    });
    std::vector<std::string> args{"flash", firmware, "--json", "--repeat", "--log", log + ".2", "--device",
                                  "tcp:127.0.0.1:" + std::to_string(pyrrow::test::UnusedLoopbackPort())};
    args.insert(args.end(), tagged.begin(), tagged.end());
    const CliOutcome killed = RunCli(args, [&](const std::string&, pid_t pid) { station = pid; });
    killer.join();
    EXPECT_EQ(killed.exitCode, 1000 + SIGKILL);
    const auto offline = [](const std::vector<MqttMessage>& messages) {
        return !messages.empty() && messages.back().payload.find("\"state\":\"offline\"") != std::string::npos;
    };
    const json will = json::parse(subscriber.WaitFor(offline).back().payload);
    EXPECT_EQ(will["state"], "offline");
    EXPECT_EQ(will["tags"], tags);
    EXPECT_EQ(pyrrow::test::JsonSchema::Events().Problem(will, "mqtt_status"), std::nullopt) << will;
}

// The broker goes away after the first unit and comes back after the
// second: the station goes on, and every record reaches the broker (one
// may come twice, with its id). The broker keeps the subscriber's session
// over its restart, so that a record sent before the subscriber is back is
// not lost to the test.
TEST_F(Station, RecordsMadeWhileTheBrokerIsAwayArriveOnceItIsBack)
{
    const std::string firmware = WriteImage(Image(3000));
    const std::string link = (dir.path() / "fixture-tty").string();
    const std::string log = (dir.path() / "units.jsonl").string();
    MqttBroker broker(dir.path() / "broker", 0, true);
    MqttSubscriber subscriber(broker, "line3", "station-test");
    std::optional<CliOutcome> outcome;
    {
        Line serial({"--once", "serial", "--link", link}, 3, "serial:" + link, [&broker](int unit) {
            if (unit == 1)
                broker.Stop();
            if (unit == 2)
                broker.Start();
        });
        outcome = RunCli({"flash", firmware, "--json", "--repeat", "--count", "3", "--log", log, "--publish",
                          broker.Url("line3"), "--device", "serial:" + link},
                         [&](const std::string& out, pid_t) { serial.Saw(out); });
        EXPECT_EQ(serial.failures, 0);
    }
    EXPECT_EQ(outcome->exitCode, 0) << outcome->err;
    EXPECT_NE(outcome->err.find("lost the broker"), std::string::npos) << outcome->err;
    EXPECT_EQ(outcome->Events().back()["unacknowledged"], 0) << outcome->err;
    std::map<std::string, std::string> logged;  // id: the line
    for (const std::string& line : TextLines(log))
        logged[json::parse(line)["id"]] = line;
    ASSERT_EQ(logged.size(), 3u);
    const auto all = [&logged](const std::vector<MqttMessage>& messages) {
        std::set<std::string> ids;
        for (const std::string& payload : Payloads(messages, "line3/records"))
            ids.insert(json::parse(payload)["id"].get<std::string>());
        return ids.size() == logged.size();
    };
    const std::vector<MqttMessage> got = subscriber.WaitFor(all);
    EXPECT_TRUE(all(got));
    for (const std::string& payload : Payloads(got, "line3/records"))
        EXPECT_EQ(payload, logged[json::parse(payload)["id"]]);
}

// No broker when the station starts: it flashes its units, says so and
// counts the records not acknowledged; pyrrow-cli publish sends the log
// once the broker is there.
TEST_F(Station, AStationWithoutItsBrokerFlashesAndItsLogIsPublishedLater)
{
    const std::string firmware = WriteImage(Image(2000));
    const std::string link = (dir.path() / "fixture-tty").string();
    const std::string log = (dir.path() / "units.jsonl").string();
    const std::uint16_t port = pyrrow::test::UnusedLoopbackPort();
    const std::string url = "mqtt://127.0.0.1:" + std::to_string(port) + "/line3";
    SimProcess sim({"serial", "--link", link, "--units", "3", "--gap", "0"});
    sim.ReadLine();
    const CliOutcome outcome = RunCli({"flash", firmware, "--json", "--repeat", "--count", "3", "--log", log,
                                       "--publish", url, "--device", "serial:" + link});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("cannot reach the broker"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("3 records were not acknowledged"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.Events().back()["unacknowledged"], 3);
    EXPECT_EQ(sim.Wait(10s), 0) << sim.Errors();

    MqttBroker broker(dir.path() / "broker", port);
    MqttSubscriber subscriber(broker, "line3");
    const CliOutcome published = RunCli({"publish", log, "--to", url});
    EXPECT_EQ(published.exitCode, 0) << published.err;
    EXPECT_NE(published.err.find("3 of 3 records acknowledged"), std::string::npos) << published.err;
    const auto three = [](const std::vector<MqttMessage>& messages) {
        return Payloads(messages, "line3/records").size() == 3;
    };
    EXPECT_EQ(Payloads(subscriber.WaitFor(three), "line3/records"), TextLines(log));
}

// A USB fixture: units that are plugged in and pulled out between looks at
// the enumeration.
class ScriptedEnumeration : public pyrrow::platform::HidBackend {
public:
    // What each look at the enumeration sees; the last one stays.
    explicit ScriptedEnumeration(std::vector<std::vector<pyrrow::platform::HidDeviceInfo>> looks)
        : m_looks(std::move(looks))
    {
    }
    std::vector<pyrrow::platform::HidDeviceInfo> Enumerate(unsigned short, unsigned short) override
    {
        if (m_next >= m_looks.size())
            m_over.request_stop();
        const std::size_t look = std::min(m_next++, m_looks.size() - 1);
        return m_looks[look];
    }
    pyrrow::platform::HidDevice Open(unsigned short, unsigned short) override { return nullptr; }
    pyrrow::platform::HidDevice OpenPath(const std::string&) override { return nullptr; }
    int SetNonblocking(pyrrow::platform::HidDevice, int) override { return -1; }
    int Write(pyrrow::platform::HidDevice, const unsigned char*, std::size_t) override { return -1; }
    int Read(pyrrow::platform::HidDevice, unsigned char*, std::size_t) override { return -1; }
    std::u16string Error(pyrrow::platform::HidDevice) override { return u"scripted"; }
    void Close(pyrrow::platform::HidDevice) override {}
    std::size_t Looks() const { return m_next; }
    // Stopped at the first look past the script: a wait given it ends
    // rather than looking on at the last one.
    std::stop_token ScriptOver() const { return m_over.get_token(); }

private:
    std::vector<std::vector<pyrrow::platform::HidDeviceInfo>> m_looks;
    std::size_t m_next = 0;
    std::stop_source m_over;
};

TEST(UsbFixture, WaitsForTheMatchingUnitToArriveAndToLeave)
{
    using pyrrow::cli::UsbArrival;
    using pyrrow::cli::WaitLimit;
    const auto [bySerial, error] = pyrrow::cli::ParseDeviceUri("usb:serial=B2");
    ASSERT_TRUE(bySerial) << error;
    const pyrrow::platform::HidDeviceInfo a{"/dev/hidraw3", u"A1"};
    const pyrrow::platform::HidDeviceInfo b{"/dev/hidraw4", u"B2"};
    ScriptedEnumeration hid({{}, {a}, {a, b}, {a, b}, {a}});
    const auto started = std::chrono::steady_clock::now();
    const UsbArrival arrival = pyrrow::cli::WaitForUsbUnit(*bySerial, hid, WaitLimit::After(5s), {});
    ASSERT_EQ(arrival.end, UsbArrival::End::Arrived);
    EXPECT_EQ(arrival.serialNumber, "B2");
    ASSERT_TRUE(arrival.selection.target);
    EXPECT_EQ(arrival.selection.target->devicePath, "/dev/hidraw4");
    EXPECT_EQ(hid.Looks(), 3u);
    // A few looks a second, not a busy loop.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 2 * pyrrow::cli::kPollInterval);
    EXPECT_TRUE(pyrrow::cli::WaitForDeparture(*arrival.selection.target, {}, "B2", hid, {}));
    EXPECT_EQ(hid.Looks(), 5u);

    // Replaced between two looks: a unit of another serial number at the
    // same path, or the same path naming a new node (the number of the
    // hidraw node that went is given to the one that came).
    pyrrow::test::TempDir nodes;
    const pyrrow::cli::Target flashed{*bySerial, (nodes.path() / "hidraw4").string()};
    pyrrow::test::WriteBytes(flashed.devicePath, "");
    {
        const pyrrow::platform::NodeHold node(flashed.devicePath);
        ScriptedEnumeration other({{{flashed.devicePath, u"B2"}}, {{flashed.devicePath, u"C3"}}});
        EXPECT_TRUE(pyrrow::cli::WaitForDeparture(flashed, node, "B2", other, other.ScriptOver()));
        EXPECT_EQ(other.Looks(), 2u);
    }
    {
        const pyrrow::platform::NodeHold node(flashed.devicePath);
        std::filesystem::remove(flashed.devicePath);
        pyrrow::test::WriteBytes(flashed.devicePath, "");
        ScriptedEnumeration same({{{flashed.devicePath, u"B2"}}});
        EXPECT_TRUE(pyrrow::cli::WaitForDeparture(flashed, node, "B2", same, same.ScriptOver()));
        EXPECT_EQ(same.Looks(), 1u);
    }

    // Nobody comes: the limit, or a stop request, ends the wait.
    ScriptedEnumeration none({{a}});
    EXPECT_EQ(pyrrow::cli::WaitForUsbUnit(*bySerial, none, WaitLimit::After(300ms), {}).end,
              UsbArrival::End::TimedOut);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(pyrrow::cli::WaitForUsbUnit(*bySerial, none, WaitLimit::After({}), stop.get_token()).end,
              UsbArrival::End::Stopped);
    EXPECT_FALSE(pyrrow::cli::WaitForDeparture({*bySerial, "/dev/hidraw3"}, {}, "A1", none, stop.get_token()));
}

// A serial unit replaced at once: the pseudo-terminal that went gives its
// number to the one that came (the same name, device number and inode) and
// the fixture's link is made anew, all before the station looks again. The
// node held since the unit came tells the two apart.
TEST(SerialFixture, AUnitReplacedUnderTheSameNumberHasLeft)
{
    pyrrow::test::TempDir dir;
    const std::string link = (dir.path() / "fixture-tty").string();
    // A new pseudo-terminal behind the link: its master and its name.
    const auto unit = [&link] {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[64] = {};
        EXPECT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0 &&
                    ::ptsname_r(master, name, sizeof name) == 0);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(name, link);
        return std::pair<int, std::string>(master, name);
    };
    const auto [uri, error] = pyrrow::cli::ParseDeviceUri("serial:" + link);
    ASSERT_TRUE(uri) << error;
    const pyrrow::cli::Target fixture{*uri, link};
    ScriptedEnumeration noUsb({std::vector<pyrrow::platform::HidDeviceInfo>{}});
    // Asked to stop, the wait still says at its first look whether the unit has left.
    std::stop_source stopped;
    stopped.request_stop();

    const auto [first, firstName] = unit();
    const pyrrow::platform::NodeHold node(link);
    EXPECT_FALSE(pyrrow::cli::WaitForDeparture(fixture, node, "", noUsb, stopped.get_token()));
    ::close(first);
    const auto [second, secondName] = unit();
    EXPECT_TRUE(pyrrow::cli::WaitForDeparture(fixture, node, "", noUsb, stopped.get_token()))
        << firstName << " replaced by " << secondName;
    ::close(second);
}

// The log names a serial unit also by its stable name: the first in name
// order of the links in the by-id folder that lead to its device, whichever
// way the fixture named it.
TEST(StableSerialName, IsTheFirstLinkToTheSameDevice)
{
    namespace fs = std::filesystem;
    pyrrow::test::TempDir dir;
    const fs::path device = dir.path() / "ttyUSB7";
    const fs::path other = dir.path() / "ttyUSB8";
    pyrrow::test::WriteBytes(device, "");
    pyrrow::test::WriteBytes(other, "");
    const fs::path byId = dir.path() / "by-id";
    fs::create_directory(byId);
    fs::create_symlink(device, byId / "usb-FTDI_B-if00-port0");
    fs::create_symlink(device, byId / "usb-FTDI_A-if00-port0");
    fs::create_symlink(other, byId / "usb-0000");
    fs::create_symlink(dir.path() / "gone", byId / "usb-0001");
    fs::create_symlink(byId / "usb-FTDI_B-if00-port0", dir.path() / "fixture-1");

    const std::string first = (byId / "usb-FTDI_A-if00-port0").string();
    EXPECT_EQ(pyrrow::platform::StableSerialName(device.string(), byId.string()), first);
    EXPECT_EQ(pyrrow::platform::StableSerialName((dir.path() / "fixture-1").string(), byId.string()), first);
    EXPECT_EQ(pyrrow::platform::StableSerialName(other.string(), byId.string()), (byId / "usb-0000").string());
    pyrrow::test::WriteBytes(dir.path() / "ttyUSB9", "");
    EXPECT_EQ(pyrrow::platform::StableSerialName((dir.path() / "ttyUSB9").string(), byId.string()), "");
    EXPECT_EQ(pyrrow::platform::StableSerialName((dir.path() / "gone").string(), byId.string()), "");
    EXPECT_EQ(pyrrow::platform::StableSerialName(device.string(), (dir.path() / "no-by-id").string()), "");
}

}  // namespace
