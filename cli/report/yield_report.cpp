#include "cli/report/yield_report.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "cli/output/json_text.h"

namespace pyrrow::cli {
namespace {

using namespace std::chrono;

// The digits at text[at, at + count) as a number, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::optional<UtcTime> ParseUtcTime(std::string_view text)
{
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok())
        return std::nullopt;
    UtcTime time = sys_days(date);
    if (text.size() == 10)
        return time;
    // THH:MM, then :SS and a fraction, then Z.
    const int hour = Digits(text, 11, 2);
    const int minute = Digits(text, 14, 2);
    if (text[10] != 'T' || hour < 0 || hour > 23 || minute < 0 || minute > 59 || text.size() < 17 || text[13] != ':')
        return std::nullopt;
    time += hours(hour) + minutes(minute);
    std::size_t at = 16;
    if (text[at] == ':') {
        const int second = Digits(text, at + 1, 2);
        if (second < 0 || second > 59)
            return std::nullopt;
        time += seconds(second);
        at += 3;
        if (at < text.size() && text[at] == '.') {
            const std::size_t digits = text.find_first_not_of("0123456789", at + 1);
            const std::size_t count = (digits == std::string_view::npos ? text.size() : digits) - at - 1;
            if (count == 0)
                return std::nullopt;
            // Milliseconds: the first three digits, the rest dropped.
            int ms = 0;
            for (std::size_t i = 0; i < 3; ++i)
                ms = ms * 10 + (i < count ? text[at + 1 + i] - '0' : 0);
            time += milliseconds(ms);
            at += 1 + count;
        }
    }
    if (at + 1 != text.size() || text[at] != 'Z')
        return std::nullopt;
    return time;
}

ParsedRecord ParseRecord(std::string_view line)
{
    if (line.empty())
        return {std::nullopt, "an empty line"};
    const nlohmann::json json = ParseJsonLine(line);
    if (json.is_discarded())
        return {std::nullopt, "not JSON"};
    if (!json.is_object() || !json.contains("start") || !json.contains("fixture") || !json.contains("result"))
        return {std::nullopt, "JSON of another kind, not a record of pyrrow-cli"};
    const auto text = [&json](const char* key) -> const std::string* {
        const auto it = json.find(key);
        return it != json.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
    };
    if (const auto v = json.find("v"); v == json.end() || *v != 1)
        return {std::nullopt, "a record of another version than 1"};
    LoggedUnit unit;
    for (const auto& [key, time] : {std::pair{"start", &unit.start}, std::pair{"end", &unit.end}}) {
        const std::string* value = text(key);
        const auto parsed = value ? ParseUtcTime(*value) : std::nullopt;
        if (!parsed)
            return {std::nullopt, std::string("a record whose ") + key + " is no UTC time"};
        *time = *parsed;
    }
    for (const auto& [key, value] : {std::pair{"host", &unit.host}, std::pair{"fixture", &unit.fixture},
                                     std::pair{"result", &unit.result}}) {
        if (!text(key))
            return {std::nullopt, std::string("a record whose ") + key + " is no text"};
        *value = *text(key);
    }
    if (unit.result != "ok" && unit.result != "failed" && unit.result != "cancelled")
        return {std::nullopt, "a record whose result is neither ok, failed nor cancelled"};
    const auto found = json.find("unit");
    if (found == json.end() || !found->is_object())
        return {std::nullopt, "a record without its unit"};
    if (const auto serial = found->find("serial_number"); serial != found->end() && serial->is_string())
        unit.serialNumber = serial->get<std::string>();
    if (unit.result == "failed") {
        const auto error = json.find("error");
        const nlohmann::json kind = error != json.end() && error->is_object() ? error->value("kind", nlohmann::json())
                                                                             : nlohmann::json();
        if (!kind.is_string())
            return {std::nullopt, "a record of a failed unit without the error's kind"};
        unit.failure = kind.get<std::string>();
    }
    if (const auto tags = json.find("tags"); tags != json.end()) {
        if (!tags->is_object())
            return {std::nullopt, "a record whose tags are no object"};
        for (const auto& [key, value] : tags->items()) {
            if (!value.is_string())
                return {std::nullopt, "a record whose tag " + key + " is no text"};
            unit.tags[key] = value.get<std::string>();
        }
    }
    return {std::move(unit), {}};
}

std::optional<double> YieldFigures::FirstPassYield() const
{
    if (distinctUnits == 0)
        return std::nullopt;
    return static_cast<double>(firstPass) / static_cast<double>(distinctUnits);
}

std::optional<double> YieldFigures::UnitsPerHour() const
{
    if (active.count() <= 0)
        return std::nullopt;
    return static_cast<double>(units) * 3600000.0 / static_cast<double>(active.count());
}

namespace {

// The value at the nearest rank of the fraction p of the sorted values.
milliseconds NearestRank(const std::vector<milliseconds>& sorted, double p)
{
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

// The figures of units sorted by start.
YieldFigures Figures(const std::vector<const LoggedUnit*>& units, std::string host, std::string fixture)
{
    YieldFigures figures;
    figures.host = std::move(host);
    figures.fixture = std::move(fixture);
    std::set<std::string> seen;  // serial numbers whose first record was counted
    std::vector<milliseconds> cycles;
    UtcTime activeFrom{};
    UtcTime activeTo{};
    for (const LoggedUnit* unit : units) {
        ++figures.units;
        if (unit->result == "ok")
            ++figures.ok;
        else if (unit->result == "cancelled")
            ++figures.cancelled;
        else {
            ++figures.failed;
            ++figures.failures[unit->failure];
        }
        if (unit->serialNumber.empty() || seen.insert(unit->serialNumber).second) {
            ++figures.distinctUnits;
            figures.firstPass += unit->result == "ok" ? 1u : 0u;
        }
        const UtcTime end = std::max(unit->start, unit->end);
        cycles.push_back(duration_cast<milliseconds>(end - unit->start));
        if (figures.units == 1) {
            figures.firstStart = unit->start;
            activeFrom = unit->start;
            activeTo = end;
        } else if (unit->start > activeTo + kPauseAfter) {
            figures.active += duration_cast<milliseconds>(activeTo - activeFrom);
            activeFrom = unit->start;
            activeTo = end;
        } else {
            activeTo = std::max(activeTo, end);
        }
        figures.lastEnd = std::max(figures.lastEnd, end);
    }
    if (figures.units > 0) {
        figures.active += duration_cast<milliseconds>(activeTo - activeFrom);
        std::sort(cycles.begin(), cycles.end());
        figures.cycleMedian = NearestRank(cycles, 0.5);
        figures.cycle95 = NearestRank(cycles, 0.95);
    }
    return figures;
}

}  // namespace

void SumUp(std::vector<LoggedUnit> units, YieldReport& report)
{
    std::stable_sort(units.begin(), units.end(),
                     [](const LoggedUnit& a, const LoggedUnit& b) { return a.start < b.start; });
    std::map<std::pair<std::string, std::string>, std::vector<const LoggedUnit*>> byFixture;
    std::map<std::string, std::vector<const LoggedUnit*>> byHost;
    std::vector<const LoggedUnit*> all;
    for (const LoggedUnit& unit : units) {
        byFixture[{unit.host, unit.fixture}].push_back(&unit);
        byHost[unit.host].push_back(&unit);
        all.push_back(&unit);
    }
    report.fixtures.clear();
    report.hosts.clear();
    for (const auto& [key, group] : byFixture)
        report.fixtures.push_back(Figures(group, key.first, key.second));
    for (const auto& [host, group] : byHost)
        report.hosts.push_back(Figures(group, host, {}));
    report.total = Figures(all, {}, {});

    report.chart.clear();
    if (units.empty())
        return;
    // Hours; days where hours would be more than two weeks of bars; several
    // days where days would be more than kMostPeriods bars.
    const auto span = units.back().start - units.front().start;
    report.period = hours(1);
    if (span > hours(24 * 14))
        report.period = hours(24) * std::max<long>(1, static_cast<long>(span / (hours(24) * kMostPeriods)) + 1);
    const UtcTime first = floor<days>(units.front().start) +
                          (floor<hours>(units.front().start) - floor<days>(units.front().start)) /
                              report.period * report.period;
    report.chart.resize(static_cast<std::size_t>((units.back().start - first) / report.period) + 1);
    for (std::size_t i = 0; i < report.chart.size(); ++i)
        report.chart[i].from = first + report.period * static_cast<long>(i);
    for (const LoggedUnit& unit : units) {
        PeriodCounts& counts = report.chart[static_cast<std::size_t>((unit.start - first) / report.period)];
        ++(unit.result == "ok" ? counts.ok : unit.result == "cancelled" ? counts.cancelled : counts.failed);
    }
}

}  // namespace pyrrow::cli
