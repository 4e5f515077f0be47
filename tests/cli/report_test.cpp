// pyrrow-cli report over the logs of stations that flashed simulated units
// with faults, and the figures' rules over records made for the purpose.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/report/yield_report.h"
#include "support/cli_run.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using namespace pyrrow::test;

// The "report" events of a run by scope, and the total.
struct Rows {
    explicit Rows(const CliOutcome& outcome)
    {
        for (const json& event : outcome.Events()) {
            EXPECT_EQ(event["event"], "report") << event;
            if (event["scope"] == "total")
                total = event;
            else
                (event["scope"] == "fixture" ? fixtures : stations).push_back(event);
        }
    }
    std::vector<json> fixtures;
    std::vector<json> stations;
    json total;
};

// One station of two fixtures, three units each: the second TCP unit
// rejects the header, the third serial unit goes away during the data. A
// second station's log is the same records under another host, tagged,
// with a record cut short among them.
TEST(Report, SumsUpTheLogsOfStationsThatMetFaults)
{
    TempDir dir;
    const std::string firmware = (dir.path() / "unit.fw").string();
    WriteBytes(firmware, std::string(3000, '\x5a'));
    const std::string link = (dir.path() / "fixture-tty").string();
    SimProcess tcp({"tcp", "--listen", "127.0.0.1:0", "--units", "3", "--gap", "1", "--fault",
                    "header:status=1@unit=2"});
    const std::uint16_t port = tcp.ReadPort();
    SimProcess serial({"serial", "--link", link, "--units", "3", "--gap", "0", "--fault", "link:hangup@bytes=1000@unit=3"});
    serial.ReadLine();
    const std::string a = (dir.path() / "a.jsonl").string();
    const CliOutcome station = RunCli({"flash", firmware, "-q", "--repeat", "--count", "3", "--log", a, "--device",
                                       "tcp:127.0.0.1:" + std::to_string(port), "--device", "serial:" + link});
    ASSERT_EQ(station.exitCode, 14) << station.err;
    tcp.Wait(10s);
    serial.Wait(10s);

    std::vector<std::string> records;
    std::ifstream in(a);
    for (std::string line; std::getline(in, line);)
        records.push_back(line);
    ASSERT_EQ(records.size(), 6u);
    std::string other;
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::string record = std::regex_replace(records[i], std::regex(R"("host":"[^"]*")"), R"("host":"line3-b")");
        record.insert(record.size() - 1, R"(,"tags":{"lot":"A7"})");
        other += record + "\n" + (i == 2 ? record.substr(0, 90) + "\n" : "");
    }
    const std::string b = (dir.path() / "b.jsonl").string();
    WriteBytes(b, other);
    const std::string page = (dir.path() / "line3.html").string();

    const CliOutcome outcome = RunCli({"report", a, b, "--json", "--html", page});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    const Rows rows(outcome);
    ASSERT_EQ(rows.fixtures.size(), 4u) << outcome.out;
    for (const json& fixture : rows.fixtures) {
        const bool overTcp = fixture["fixture"].get<std::string>().starts_with("tcp:");
        EXPECT_EQ(fixture["units"], 3) << fixture;
        EXPECT_EQ(fixture["ok"], 2) << fixture;
        EXPECT_EQ(fixture["failures"], json({{overTcp ? "header_rejected" : "link_lost", 1}})) << fixture;
        EXPECT_EQ(fixture["first_pass"], json({{"units", 3}, {"ok", 2}})) << fixture;
    }
    ASSERT_EQ(rows.stations.size(), 2u);
    EXPECT_TRUE(rows.stations[0]["host"] == "line3-b" || rows.stations[1]["host"] == "line3-b");
    for (const json& host : rows.stations)
        EXPECT_EQ(json({host["units"], host["ok"], host["failed"], host["cancelled"]}), json({6, 4, 2, 0})) << host;
    const json& total = rows.total;
    EXPECT_EQ(json({total["units"], total["ok"], total["failed"], total["cancelled"]}), json({12, 8, 4, 0}));
    EXPECT_EQ(total["failures"], json({{"header_rejected", 2}, {"link_lost", 2}}));
    EXPECT_DOUBLE_EQ(total["first_pass_yield"].get<double>(), 0.6667);
    EXPECT_GT(total["units_per_hour"].get<double>(), 0);
    EXPECT_LE(total["cycle_ms"]["median"], total["cycle_ms"]["p95"]);
    EXPECT_EQ(total["damaged"], 1);
    ASSERT_EQ(total["damaged_lines"].size(), 1u);
    EXPECT_EQ(total["damaged_lines"][0]["log"], b);
    EXPECT_EQ(total["damaged_lines"][0]["line"], 4);
    EXPECT_NE(outcome.err.find("1 line of the logs is no record"), std::string::npos) << outcome.err;

    // The page: the same figures, to be opened with nothing fetched or run.
    const std::string html = ReadBytes(page);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("<svg"), std::string::npos);
    EXPECT_NE(html.find("<td class=\"name\">line3-b</td>"), std::string::npos);
    for (const char* fetched : {"<script", "http:", "https:", "src=", "href=", "url("})
        EXPECT_EQ(html.find(fetched), std::string::npos) << fetched;

    // The filters: a tag all must carry, and --since from the first start
    // on, --until before it.
    std::vector<std::string> starts;
    for (const std::string& record : records)
        starts.push_back(json::parse(record)["start"]);
    const std::string first = *std::min_element(starts.begin(), starts.end());
    const std::string last = *std::max_element(starts.begin(), starts.end());
    struct Filter {
        std::vector<std::string> options;
        int units;
    };
    for (const Filter& filter : {Filter{{"--tag", "lot=A7"}, 6}, Filter{{"--tag", "lot=B1"}, 0},
                                 Filter{{"--since", first}, 12}, Filter{{"--until", first}, 0},
                                 Filter{{"--since", last, "--tag", "lot=A7"}, 1}}) {
        std::vector<std::string> args{"report", a, b, "--json"};
        args.insert(args.end(), filter.options.begin(), filter.options.end());
        const CliOutcome filtered = RunCli(args);
        EXPECT_EQ(filtered.exitCode, 0) << filtered.err;
        EXPECT_EQ(Rows(filtered).total["units"], filter.units) << filter.options[1];
    }

    // The page is written over an earlier page, never over a log; the text
    // names the damaged line.
    const CliOutcome text = RunCli({"report", a, b, "--html", page});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find(b + " line 4: "), std::string::npos) << text.out;
    const CliOutcome refused = RunCli({"report", a, "--html", b});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("will not write over"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadBytes(b), other);
}

// Units told apart by serial number, pauses left out of the active time,
// and the cycle times' nearest ranks.
TEST(Report, FirstPassActiveTimeAndCycleTimes)
{
    using pyrrow::cli::LoggedUnit;
    const auto at = [](int seconds) { return pyrrow::cli::UtcTime{} + std::chrono::seconds(seconds); };
    const auto unit = [&](int start, int seconds, const char* result, const char* serial) {
        return LoggedUnit{at(start), at(start + seconds), "line3", "usb", serial, result,
                          std::string(result) == "failed" ? "header_no_answer" : "", {}};
    };
    std::vector<LoggedUnit> units = {
        unit(60, 10, "ok", "A"),      // flashed again after a failure: not first-pass
        unit(0, 10, "failed", "A"),
        unit(30, 20, "ok", "B"),
        unit(90, 30, "ok", ""),       // no serial number: a unit of its own each
        unit(130, 10, "failed", ""),
        unit(1000, 40, "cancelled", "C"),  // after a pause of more than 5 minutes
    };
    pyrrow::cli::YieldReport report;
    pyrrow::cli::SumUp(units, report);
    const auto& total = report.total;
    EXPECT_EQ(total.units, 6u);
    EXPECT_EQ(total.distinctUnits, 5u);
    EXPECT_EQ(total.firstPass, 2u);
    EXPECT_EQ(total.active, 140s + 40s);
    EXPECT_EQ(total.cycleMedian, 10s);
    EXPECT_EQ(total.cycle95, 40s);
    EXPECT_EQ(total.failures.at("header_no_answer"), 2u);
    ASSERT_TRUE(total.UnitsPerHour());
    EXPECT_DOUBLE_EQ(*total.UnitsPerHour(), 6 * 3600.0 / 180.0);
    EXPECT_EQ(report.chart.size(), 1u);

    // The chart's bars: hours, days past two weeks, several days past 1000 days.
    struct Span {
        int days;
        std::chrono::hours period;
        std::size_t bars;
    };
    for (const Span& span : {Span{14, 1h, 14 * 24 + 1}, Span{20, 24h, 21}, Span{5000, 5 * 24h, 1001}}) {
        pyrrow::cli::SumUp({unit(3600 * 5 + 7, 1, "ok", ""), unit(86400 * span.days + 3600 * 5, 1, "ok", "")}, report);
        EXPECT_EQ(report.period, span.period) << span.days;
        ASSERT_EQ(report.chart.size(), span.bars) << span.days;
        EXPECT_EQ(report.chart.front().ok + report.chart.back().ok, 2u) << span.days;
    }
}

}  // namespace
