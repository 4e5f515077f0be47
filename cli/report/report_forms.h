// The yield report in the forms it is read in: tables of text for a
// terminal, JSON lines for programs ("report" events), and one web page of
// its own for people who would rather look than read.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "cli/report/yield_report.h"

namespace pyrrow::cli {

std::string ReportText(const YieldReport& report);
std::string ReportJson(const YieldReport& report);
// A whole HTML page: its style inline, its chart inline SVG, no script and
// nothing to fetch (report_page.cpp).
std::string ReportPage(const YieldReport& report);

// The page names its maker in this line, so that a page is known as ours
// before it is written over.
inline constexpr const char* kReportPageMark = R"(<meta name="generator" content="pyrrow-cli report">)";

// The figures' values as both the text and the page show them.
std::string ShownPercent(std::optional<double> fraction);  // "87.5 %", "-"
std::string ShownRate(std::optional<double> perHour);      // "118.3", "-"
std::string ShownDuration(std::optional<std::chrono::milliseconds> duration);  // "6.42 s", "2 min 05 s", "-"
std::string ShownFailures(const YieldFigures& figures);    // "header_rejected 2, link_lost 1"
std::string ShownTime(UtcTime time);                       // "2026-12-07 06:00:03"

}  // namespace pyrrow::cli
