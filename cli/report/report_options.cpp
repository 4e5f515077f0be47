#include "cli/report/report_options.h"

#include <CLI/CLI.hpp>

#include "cli/output/record_tags.h"
#include "cli/report/yield_report.h"

namespace pyrrow::cli {

ReportCommand::ReportCommand(CLI::App& app)
{
    m_command = app.add_subcommand("report", "Sum up the --log files of one or more stations: per fixture, per "
                                             "station and in total, units, results, first-pass yield, units per "
                                             "hour, cycle times and failures by kind");
    m_command->footer(
        "Times are in UTC: 2026-12-07, 2026-12-07T06:00Z, 2026-12-07T06:00:00Z or 2026-12-07T06:00:00.000Z.\n"
        "A unit is known by its serial number where its records have one (USB), so a unit flashed again is\n"
        "one unit, and first-pass if its first record is ok; a record without one is a unit of its own.\n"
        "Active time leaves out pauses of more than 5 minutes between units; the cycle time is a unit's\n"
        "from the start of its upload to its end. Lines that are no records are counted and named.\n\n"
        "Exit codes:\n"
        "    0  the report was printed\n"
        "    2  usage: an unknown option, a bad time or tag, a LOG named twice, an --html FILE that is\n"
        "       not an earlier page of this command\n"
        "   12  a LOG could not be read, or the --html page could not be written\n");
    m_command->add_option("LOG", m_logs, "The --log files of the stations")->required()->type_name("");
    m_command->add_flag("--json", m_json,
                        "One JSON object per line on standard output: a \"report\" event per fixture, per station "
                        "and for the total");
    m_command->add_option("--html", m_html,
                          "Also write the report as one self-contained web page (no scripts, nothing fetched) "
                          "with a chart of units per hour by result; an existing FILE is written over only when "
                          "it is an earlier page of this command")
        ->type_name("FILE");
    m_command->add_option("--since", m_since, "Only units whose upload started at TIME or later")
        ->type_name("TIME");
    m_command->add_option("--until", m_until, "Only units whose upload started before TIME")->type_name("TIME");
    m_command->add_option("--tag", m_tags,
                          "Only units whose records carry this tag (repeat for several: all must match)")
        ->type_name("KEY=VALUE")
        ->allow_extra_args(false);
}

bool ReportCommand::Parsed() const
{
    return m_command->parsed();
}

std::variant<ReportOptions, std::string> ReportCommand::Options() const
{
    ReportOptions options;
    options.logs = m_logs;
    options.json = m_json;
    options.html = m_html;
    for (const std::string& log : m_logs)
        if (log.empty())
            return "report: a LOG is empty; give a file name (is a variable unset?)";
    if (m_command->get_option("--html")->count() > 0 && m_html.empty())
        return "report: --html is empty; give a file name (is a variable unset?)";
    for (const auto& [name, text, time] : {std::tuple{"--since", &m_since, &options.since},
                                           std::tuple{"--until", &m_until, &options.until}}) {
        if (m_command->get_option(name)->count() == 0)
            continue;
        *time = ParseUtcTime(*text);
        if (!*time)
            return std::string("report: ") + name + ": " + *text +
                   " is no UTC time; give 2026-12-07, 2026-12-07T06:00Z or 2026-12-07T06:00:00Z";
    }
    if (options.since && options.until && *options.until <= *options.since)
        return "report: --until " + m_until + " is not after --since " + m_since;
    // The same tags as the records carry: what --tag of flash takes.
    for (const std::string& tag : m_tags)
        if (const auto problem = AddTag(options.tags, tag))
            return "report: " + *problem;
    return options;
}

}  // namespace pyrrow::cli
