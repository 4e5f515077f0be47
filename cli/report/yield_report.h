// pyrrow-cli report: the records of stations' --log files read back and
// summed up per fixture, per station (host) and in total: units and how
// they ended, first-pass yield, units per hour of active time, cycle times
// and failures by kind. Pure: the command reads the files and prints.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pyrrow::cli {

using UtcTime = std::chrono::system_clock::time_point;

// "2026-12-07T21:30:05.123Z" (the records' form), also without the
// fraction, without the seconds ("2026-12-07T21:30Z") or a date alone
// (its midnight); nothing when the text is no such time.
std::optional<UtcTime> ParseUtcTime(std::string_view text);

// One record of a log, as much of it as the report needs.
struct LoggedUnit {
    UtcTime start;
    UtcTime end;
    std::string host;
    std::string fixture;
    std::string serialNumber;  // a USB unit's own: "" when the record has none
    std::string result;        // "ok", "failed" or "cancelled"
    std::string failure;       // failed: the error's kind
    std::map<std::string, std::string> tags;
};

// The record on a line of a log, or why the line is none.
struct ParsedRecord {
    std::optional<LoggedUnit> unit;
    std::string problem;
};
ParsedRecord ParseRecord(std::string_view line);

// The figures of one fixture, one station or all.
struct YieldFigures {
    std::string host;     // "" in the total
    std::string fixture;  // "" in a station's figures and the total
    std::uint64_t units = 0;  // records: each time a unit came
    std::uint64_t ok = 0;
    std::uint64_t failed = 0;
    std::uint64_t cancelled = 0;
    // Units told apart by serial number where their records have one (the
    // same unit flashed again is one unit); a record without one is a unit
    // of its own. First pass: the unit's first record is ok.
    std::uint64_t distinctUnits = 0;
    std::uint64_t firstPass = 0;
    std::chrono::milliseconds active{0};
    std::optional<std::chrono::milliseconds> cycleMedian;  // from start to end of a unit
    std::optional<std::chrono::milliseconds> cycle95;
    std::map<std::string, std::uint64_t> failures;  // by kind
    UtcTime firstStart{};
    UtcTime lastEnd{};

    std::optional<double> FirstPassYield() const;  // 0 to 1
    std::optional<double> UnitsPerHour() const;
};

// The units that started in one period of the chart.
struct PeriodCounts {
    UtcTime from;
    std::uint64_t ok = 0;
    std::uint64_t failed = 0;
    std::uint64_t cancelled = 0;
};

// A line of a log that is no record.
struct DamagedLine {
    std::string log;
    std::uint64_t line = 0;
    std::string problem;
};

struct YieldReport {
    // What it was made of: the logs, the lines that are no records (every
    // one counted, the first ones of each log named) and the filters.
    std::vector<std::string> logs;
    std::uint64_t damaged = 0;
    std::vector<DamagedLine> named;
    std::optional<UtcTime> since;
    std::optional<UtcTime> until;
    std::vector<std::pair<std::string, std::string>> tags;

    std::vector<YieldFigures> fixtures;  // by host, then fixture
    std::vector<YieldFigures> hosts;     // by host
    YieldFigures total;
    std::chrono::hours period{1};        // of the chart: an hour, or days for a long span
    std::vector<PeriodCounts> chart;     // every period from the first unit's to the last one's
};

// The chart has at most about this many bars.
inline constexpr long kMostPeriods = 1000;

// Time between two units of a group longer than this is a pause, and not
// active time.
inline constexpr std::chrono::minutes kPauseAfter{5};

// The figures of the units, in any order.
void SumUp(std::vector<LoggedUnit> units, YieldReport& report);

}  // namespace pyrrow::cli
