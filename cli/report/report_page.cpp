// The yield report as one web page: it opens from a disk, a mail or a
// share, with nothing to fetch and nothing to run.
#include <algorithm>
#include <cstdio>

#include "cli/report/report_forms.h"
#include "platform/utf.h"

namespace pyrrow::cli {
namespace {

std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : platform::Utf8Lossy(text)) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

constexpr const char* kStyle = R"(
body { font: 15px/1.4 system-ui, sans-serif; margin: 2em; color: #222; }
h1 { font-size: 1.5em; } h2 { font-size: 1.15em; margin-top: 2em; }
table { border-collapse: collapse; }
th, td { padding: 0.25em 0.75em; border-bottom: 1px solid #ddd; text-align: right; }
th { background: #f3f3f3; }
td.name, th.name { text-align: left; }
.ok { fill: #3a8f3a; } .failed { fill: #c0392b; } .cancelled { fill: #999; }
svg text { font: 11px system-ui, sans-serif; fill: #444; }
.key span { display: inline-block; width: 0.9em; height: 0.9em; margin: 0 0.3em 0 1em; vertical-align: -0.1em; }
)";

// "hour", "day", "3 days".
std::string PeriodName(std::chrono::hours period)
{
    if (period.count() < 24)
        return "hour";
    return period.count() == 24 ? "day" : std::to_string(period.count() / 24) + " days";
}

std::string Cell(const std::string& text, bool name = false)
{
    return name ? "<td class=\"name\">" + Escaped(text) + "</td>" : "<td>" + Escaped(text) + "</td>";
}

std::string FiguresTable(const std::vector<YieldFigures>& rows, bool host, bool fixture)
{
    std::string html = "<table>\n<tr>";
    if (host)
        html += "<th class=\"name\">station</th>";
    if (fixture)
        html += "<th class=\"name\">fixture</th>";
    html += "<th>units</th><th>ok</th><th>failed</th><th>cancelled</th><th>first-pass yield</th><th>units per "
            "hour</th><th>active</th><th>cycle median</th><th>cycle p95</th><th class=\"name\">failures</th></tr>\n";
    for (const YieldFigures& figures : rows) {
        html += "<tr>";
        if (host)
            html += Cell(figures.host, true);
        if (fixture)
            html += Cell(figures.fixture, true);
        html += Cell(std::to_string(figures.units)) + Cell(std::to_string(figures.ok)) +
                Cell(std::to_string(figures.failed)) + Cell(std::to_string(figures.cancelled)) +
                Cell(ShownPercent(figures.FirstPassYield())) + Cell(ShownRate(figures.UnitsPerHour())) +
                Cell(ShownDuration(figures.active)) + Cell(ShownDuration(figures.cycleMedian)) +
                Cell(ShownDuration(figures.cycle95)) + Cell(ShownFailures(figures), true) + "</tr>\n";
    }
    return html + "</table>\n";
}

// Bars of the units that started in each period, stacked by result.
std::string Chart(const YieldReport& report)
{
    if (report.chart.empty())
        return "<p>No units.</p>\n";
    std::uint64_t most = 1;
    for (const PeriodCounts& counts : report.chart)
        most = std::max(most, counts.ok + counts.failed + counts.cancelled);
    constexpr double kLeft = 40, kTop = 10, kHeight = 200, kBottom = 40;
    const double slot = std::max(4.0, std::min(40.0, 900.0 / static_cast<double>(report.chart.size())));
    const double width = kLeft + slot * static_cast<double>(report.chart.size()) + 10;
    char buffer[256];
    std::snprintf(buffer, sizeof buffer,
                  "<svg width=\"%.0f\" height=\"%.0f\" role=\"img\" "
                  "aria-label=\"units per %s by result\">\n",
                  width, kTop + kHeight + kBottom, PeriodName(report.period).c_str());
    std::string svg = buffer;
    // The scale: nothing, half and the most.
    for (const std::uint64_t value : {std::uint64_t{0}, most / 2, most}) {
        const double y = kTop + kHeight - kHeight * static_cast<double>(value) / static_cast<double>(most);
        std::snprintf(buffer, sizeof buffer,
                      "<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\" stroke=\"#ddd\"/>"
                      "<text x=\"%.0f\" y=\"%.1f\" text-anchor=\"end\">%llu</text>\n",
                      kLeft, y, width - 10, y, kLeft - 4, y + 4, static_cast<unsigned long long>(value));
        svg += buffer;
    }
    const std::size_t labelEvery = std::max<std::size_t>(1, static_cast<std::size_t>(60.0 / slot));
    for (std::size_t i = 0; i < report.chart.size(); ++i) {
        const PeriodCounts& counts = report.chart[i];
        const double x = kLeft + slot * static_cast<double>(i);
        double y = kTop + kHeight;
        const std::string when = ShownTime(counts.from).substr(0, report.period.count() >= 24 ? 10 : 16);
        for (const auto& [result, count] : {std::pair{"ok", counts.ok}, std::pair{"failed", counts.failed},
                                            std::pair{"cancelled", counts.cancelled}}) {
            if (count == 0)
                continue;
            const double height = kHeight * static_cast<double>(count) / static_cast<double>(most);
            y -= height;
            std::snprintf(buffer, sizeof buffer,
                          "<rect class=\"%s\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\"><title>%s UTC: "
                          "%llu %s</title></rect>\n",
                          result, x + 1, y, slot - 2, height, when.c_str(), static_cast<unsigned long long>(count),
                          result);
            svg += buffer;
        }
        if (i % labelEvery == 0) {
            // The time of an hour, the month and day of a day, the date of several days.
            const std::string label = report.period.count() > 24    ? when
                                      : report.period.count() == 24 ? when.substr(5)
                                                                    : when.substr(11);
            std::snprintf(buffer, sizeof buffer, "<text x=\"%.1f\" y=\"%.0f\">%s</text>\n", x,
                          kTop + kHeight + 15, label.c_str());
            svg += buffer;
        }
    }
    return svg + "</svg>\n";
}

}  // namespace

std::string ReportPage(const YieldReport& report)
{
    const YieldFigures& total = report.total;
    std::string html = std::string("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n") +
                       kReportPageMark +
                       "\n<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                       "style-src 'unsafe-inline'\">\n<title>Yield report</title>\n<style>" +
                       kStyle + "</style>\n</head>\n<body>\n<h1>Yield report</h1>\n<p>";
    html += std::to_string(total.units) + (total.units == 1 ? " unit" : " units");
    if (total.units > 0)
        html += ", " + ShownTime(total.firstStart) + " to " + ShownTime(total.lastEnd) + " UTC";
    html += ", from " + std::to_string(report.logs.size()) + (report.logs.size() == 1 ? " log" : " logs") + ":";
    for (const std::string& log : report.logs)
        html += " <code>" + Escaped(log) + "</code>";
    html += ".";
    if (!report.tags.empty()) {
        html += " Only units tagged";
        for (const auto& [key, value] : report.tags)
            html += " <code>" + Escaped(key + "=" + value) + "</code>";
        html += ".";
    }
    if (report.since)
        html += " Started at " + ShownTime(*report.since) + " UTC or later.";
    if (report.until)
        html += " Started before " + ShownTime(*report.until) + " UTC.";
    html += "</p>\n";
    if (report.damaged > 0) {
        html += "<p><strong>" + std::to_string(report.damaged) +
                (report.damaged == 1 ? " line is no record and is" : " lines are no records and are") +
                " left out:</strong></p>\n<ul>\n";
        for (const DamagedLine& line : report.named)
            html += "<li><code>" + Escaped(line.log) + "</code> line " + std::to_string(line.line) + ": " +
                    Escaped(line.problem) + "</li>\n";
        if (report.named.size() < report.damaged)
            html += "<li>" + std::to_string(report.damaged - report.named.size()) + " more not named</li>\n";
        html += "</ul>\n";
    }
    html += "<h2>Units per " + PeriodName(report.period) +
            " by result (UTC)</h2>\n" + Chart(report) +
            "<p class=\"key\"><span class=\"ok\" style=\"background:#3a8f3a\"></span>ok<span "
            "style=\"background:#c0392b\"></span>failed<span style=\"background:#999\"></span>cancelled</p>\n";
    html += "<h2>In total</h2>\n" + FiguresTable({total}, false, false);
    html += "<h2>Per station</h2>\n" + FiguresTable(report.hosts, true, false);
    html += "<h2>Per fixture</h2>\n" + FiguresTable(report.fixtures, true, true);
    html += "<p>A unit is known by its serial number where its records have one; first pass: its first record is "
            "ok. Active time leaves out pauses of more than 5 minutes; the cycle time runs from the start of a "
            "unit's upload to its end.</p>\n</body>\n</html>\n";
    return html;
}

}  // namespace pyrrow::cli
