#include "cli/report/report_forms.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>
#include <utf8.h>

#include "cli/output/json_text.h"
#include "cli/output/progress.h"
#include "console/text.h"

namespace pyrrow::cli {

using namespace std::chrono;

std::string ShownRate(std::optional<double> perHour)
{
    if (!perHour)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *perHour);
    return text;
}

std::string ShownPercent(std::optional<double> fraction)
{
    return fraction ? ShownRate(*fraction * 100.0) + " %" : "-";
}

std::string ShownDuration(std::optional<milliseconds> duration)
{
    if (!duration)
        return "-";
    const long long ms = duration->count();
    char text[48];
    if (ms < 60000)
        std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(ms) / 1000.0);
    else if (ms < 3600000)
        std::snprintf(text, sizeof text, "%lld min %02lld s", ms / 60000, ms / 1000 % 60);
    else
        std::snprintf(text, sizeof text, "%lld h %02lld min", ms / 3600000, ms / 60000 % 60);
    return text;
}

std::string ShownFailures(const YieldFigures& figures)
{
    std::string text;
    for (const auto& [kind, count] : figures.failures)
        text += (text.empty() ? "" : ", ") + kind + " " + std::to_string(count);
    return text;
}

std::string ShownTime(UtcTime time)
{
    std::string text = console::UtcText(time).substr(0, 19);
    text[10] = ' ';
    return text;
}

namespace {

// Columns padded to their widest cell in characters; numbers to the right.
std::string Table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                  std::size_t textColumns)
{
    std::vector<std::size_t> widths(header.size(), 0);
    const auto width = [](const std::string& cell) {
        return static_cast<std::size_t>(utf8::distance(cell.begin(), cell.end()));
    };
    for (std::size_t i = 0; i < header.size(); ++i) {
        widths[i] = width(header[i]);
        for (const auto& row : rows)
            widths[i] = std::max(widths[i], width(row[i]));
    }
    std::string text;
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string out;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string pad(widths[i] - width(cells[i]), ' ');
            const bool last = i + 1 == cells.size();
            if (i < textColumns || last)
                out += cells[i] + (last ? "" : pad);
            else
                out += pad + cells[i];
            if (!last)
                out += "  ";
        }
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
        text += out + "\n";
    };
    line(header);
    for (const auto& row : rows)
        line(row);
    return text;
}

// The figures' cells after those of lead.
std::vector<std::string> Cells(const YieldFigures& figures, std::vector<std::string> lead = {})
{
    const std::vector<std::string> cells = {std::to_string(figures.units),
                                            std::to_string(figures.ok),
                                            std::to_string(figures.failed),
                                            std::to_string(figures.cancelled),
                                            ShownPercent(figures.FirstPassYield()),
                                            ShownRate(figures.UnitsPerHour()),
                                            ShownDuration(figures.active),
                                            ShownDuration(figures.cycleMedian),
                                            ShownDuration(figures.cycle95),
                                            Shown(ShownFailures(figures))};
    lead.insert(lead.end(), cells.begin(), cells.end());
    return lead;
}

const std::vector<std::string> kFigureHeader = {"units",  "ok",           "failed",    "cancelled", "first pass",
                                                "units/h", "active", "cycle median", "cycle p95", "failures"};

// "lot=A7, line=3".
std::string ShownTags(const YieldReport& report)
{
    std::string text;
    for (const auto& [key, value] : report.tags)
        text += (text.empty() ? "" : ", ") + key + "=" + value;
    return text;
}

}  // namespace

std::string ReportText(const YieldReport& report)
{
    const YieldFigures& total = report.total;
    std::string text = "Yield report over " + std::to_string(report.logs.size()) +
                       (report.logs.size() == 1 ? " log: " : " logs: ") + std::to_string(total.units) +
                       (total.units == 1 ? " unit" : " units");
    if (total.units > 0)
        text += ", " + ShownTime(total.firstStart) + " to " + ShownTime(total.lastEnd) + " UTC";
    text += "\n";
    if (report.since || report.until || !report.tags.empty()) {
        text += "Only units";
        if (!report.tags.empty())
            text += " tagged " + Shown(ShownTags(report));
        if (report.since)
            text += " that started at " + ShownTime(*report.since) + " UTC or later";
        if (report.until)
            text += std::string(report.since ? " and" : " that started") + " before " + ShownTime(*report.until) +
                    " UTC";
        text += ".\n";
    }
    if (report.damaged > 0) {
        text += std::to_string(report.damaged) +
                (report.damaged == 1 ? " line is no record and is" : " lines are no records and are") +
                " left out:\n";
        for (const DamagedLine& line : report.named)
            text += "  " + Shown(line.log) + " line " + std::to_string(line.line) + ": " + Shown(line.problem) + "\n";
        if (report.named.size() < report.damaged)
            text += "  (" + std::to_string(report.damaged - report.named.size()) + " more not named)\n";
    }

    std::vector<std::vector<std::string>> rows;
    for (const YieldFigures& figures : report.fixtures)
        rows.push_back(Cells(figures, {Shown(figures.host), Shown(figures.fixture)}));
    std::vector<std::string> header = {"station", "fixture"};
    header.insert(header.end(), kFigureHeader.begin(), kFigureHeader.end());
    text += "\nPer fixture:\n" + Table(header, rows, 2);

    rows.clear();
    for (const YieldFigures& figures : report.hosts)
        rows.push_back(Cells(figures, {Shown(figures.host)}));
    header.erase(header.begin() + 1);
    text += "\nPer station:\n" + Table(header, rows, 1);
    text += "\nIn total:\n" + Table(kFigureHeader, {Cells(total)}, 0);
    return text;
}

namespace {

using Json = nlohmann::ordered_json;

Json Row(const YieldFigures& figures, const char* scope)
{
    const auto rounded = [](std::optional<double> value, double scale) {
        return value ? Json(std::round(*value * scale) / scale) : Json();
    };
    Json line;
    line["v"] = 1;
    line["event"] = "report";
    line["scope"] = scope;
    if (std::string(scope) != "total")
        line["host"] = figures.host;
    if (std::string(scope) == "fixture")
        line["fixture"] = figures.fixture;
    line["units"] = figures.units;
    line["ok"] = figures.ok;
    line["failed"] = figures.failed;
    line["cancelled"] = figures.cancelled;
    line["first_pass"] = {{"units", figures.distinctUnits}, {"ok", figures.firstPass}};
    line["first_pass_yield"] = rounded(figures.FirstPassYield(), 10000);
    line["active_ms"] = figures.active.count();
    line["units_per_hour"] = rounded(figures.UnitsPerHour(), 10);
    line["cycle_ms"] = figures.cycleMedian ? Json{{"median", figures.cycleMedian->count()},
                                                  {"p95", figures.cycle95->count()}}
                                           : Json();
    line["failures"] = Json::object();
    for (const auto& [kind, count] : figures.failures)
        line["failures"][kind] = count;
    line["first_start"] = figures.units > 0 ? Json(console::UtcText(figures.firstStart)) : Json();
    line["last_end"] = figures.units > 0 ? Json(console::UtcText(figures.lastEnd)) : Json();
    return line;
}

}  // namespace

std::string ReportJson(const YieldReport& report)
{
    std::string text;
    for (const YieldFigures& figures : report.fixtures)
        text += JsonLine(Row(figures, "fixture")) + "\n";
    for (const YieldFigures& figures : report.hosts)
        text += JsonLine(Row(figures, "station")) + "\n";
    Json total = Row(report.total, "total");
    total["logs"] = report.logs;
    total["since"] = report.since ? Json(console::UtcText(*report.since)) : Json();
    total["until"] = report.until ? Json(console::UtcText(*report.until)) : Json();
    total["tags"] = TagsJson(report.tags);
    total["damaged"] = report.damaged;
    total["damaged_lines"] = Json::array();
    for (const DamagedLine& line : report.named)
        total["damaged_lines"].push_back({{"log", line.log}, {"line", line.line}, {"problem", line.problem}});
    return text + JsonLine(total) + "\n";
}

}  // namespace pyrrow::cli
