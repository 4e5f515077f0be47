// pyrrow-cli report: stations' logs read back line by line and summed up;
// a line that is no record is counted and named, never passed over.
#include <algorithm>
#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/output/log_lines.h"
#include "cli/output/progress.h"
#include "cli/report/report_forms.h"
#include "platform/files/named_file.h"

namespace pyrrow::cli {
namespace {

using platform::NamedFile;

// The lines of a log that are no records are named up to this many; all
// are counted.
constexpr std::size_t kNamedPerLog = 20;

bool Matches(const LoggedUnit& unit, const ReportOptions& options)
{
    if ((options.since && unit.start < *options.since) || (options.until && unit.start >= *options.until))
        return false;
    return std::all_of(options.tags.begin(), options.tags.end(), [&unit](const auto& tag) {
        const auto found = unit.tags.find(tag.first);
        return found != unit.tags.end() && found->second == tag.second;
    });
}

struct Problem {
    std::string text;  // "" when there is none
    int exitCode = kExitLog;
};

// Reads the log into units and report.
Problem ReadLog(const std::string& path, const ReportOptions& options, std::vector<platform::FileIdentity>& seen,
                    std::vector<LoggedUnit>& units, YieldReport& report)
{
    NamedFile file;
    platform::SystemError error;
    platform::FileFacts facts;
    if (!file.Open(path, NamedFile::Access::Read, &error))
        return {"cannot open " + path + ": " + error.text};
    if (!file.Facts(&facts, &error))
        return {"cannot look at " + path + ": " + error.text};
    if (!facts.Regular())
        return {path + " is not a regular file"};
    if (std::find(seen.begin(), seen.end(), facts.identity) != seen.end())
        return {path + " is named twice (its units would count twice)", kExitUsage};
    seen.push_back(facts.identity);
    std::size_t named = 0;
    const auto damaged = [&](std::uint64_t line, std::string problem) {
        ++report.damaged;
        if (named++ < kNamedPerLog)
            report.named.push_back({path, line, std::move(problem)});
    };
    const bool read = ReadLogLines(
        file,
        [&](const LogLine& line) {
            if (line.end == LogLine::End::TooLong) {
                damaged(line.number, "a line of more than 1 MiB");
                return true;
            }
            ParsedRecord parsed = ParseRecord(line.text);
            if (!parsed.unit)
                damaged(line.number, line.end == LogLine::End::FileEnd ? "its last line, not whole: " + parsed.problem
                                                                       : parsed.problem);
            else if (Matches(*parsed.unit, options))
                units.push_back(std::move(*parsed.unit));
            return true;
        },
        &error);
    if (!read)
        return {"cannot read " + path + ": " + error.text};
    return {};
}

// Writes the page to path: a new file, an empty one or an earlier page of
// this command, never one of keep.
Problem WritePage(const std::string& path, const std::string& page,
                                      const std::vector<platform::FileIdentity>& keep)
{
    NamedFile file;
    platform::SystemError error;
    if (!file.Open(path, NamedFile::Access::CreateNew, &error)) {
        if (error.kind != platform::SystemError::Kind::Exists)
            return {"--html: cannot create " + path + ": " + error.text, kExitLog};
        const std::string refused = "--html: will not write over " + path + ": ";
        platform::FileFacts facts;
        if (!file.Open(path, NamedFile::Access::Rewrite, &error) || !file.Facts(&facts, &error))
            return {"--html: cannot open " + path + ", which exists: " + error.text, kExitLog};
        if (std::find(keep.begin(), keep.end(), facts.identity) != keep.end())
            return {refused + "it is a LOG of this report, or standard output or error", kExitUsage};
        if (!facts.Regular())
            return {refused + "it is not a regular file", kExitUsage};
        std::string start(4096, '\0');
        std::size_t read = 0;
        if (!file.Read(start.data(), start.size(), &read, &error))
            return {"--html: cannot read " + path + ", which exists: " + error.text, kExitLog};
        if (read > 0 && start.substr(0, read).find(kReportPageMark) == std::string::npos)
            return {refused + "it is not a page of pyrrow-cli report; name a new file or remove it", kExitUsage};
        if (!file.Truncate(0, &error))
            return {"--html: cannot empty " + path + ": " + error.text, kExitLog};
    }
    if (file.Write(page.data(), page.size(), &error) && file.Sync(&error) && file.Close(&error))
        return {};
    // No piece of a page is left to be taken for the whole.
    file.Truncate(0, nullptr);
    return {"--html: cannot write " + path + ": " + error.text, kExitLog};
}

}  // namespace

int RunReport(const ReportOptions& options)
{
    const auto fail = [&options](int code, const char* kind, const std::string& message) {
        if (options.json) {
            const std::string line = RunFailureJson(0, code, kind, message) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        std::fputs(Shown("pyrrow-cli: report: " + message + "\n").c_str(), stderr);
        return code;
    };
    YieldReport report;
    report.logs = options.logs;
    report.since = options.since;
    report.until = options.until;
    report.tags = options.tags;
    std::vector<platform::FileIdentity> logs;
    std::vector<LoggedUnit> units;
    const auto failWith = [&fail](const Problem& problem) {
        return fail(problem.exitCode, problem.exitCode == kExitUsage ? "usage" : "log", problem.text);
    };
    for (const std::string& path : options.logs)
        if (const Problem problem = ReadLog(path, options, logs, units, report); !problem.text.empty())
            return failWith(problem);
    SumUp(std::move(units), report);

    // Said apart from the report too, where a script that reads only the
    // figures still shows it.
    if (report.damaged > 0)
        std::fputs(("pyrrow-cli: report: " + std::to_string(report.damaged) +
                    (report.damaged == 1 ? " line of the logs is no record and is left out (named in the report)\n"
                                         : " lines of the logs are no records and are left out (named in the "
                                           "report)\n"))
                       .c_str(),
                   stderr);
    if (!options.html.empty()) {
        std::vector<platform::FileIdentity> keep = platform::StandardOutputFiles();
        keep.insert(keep.end(), logs.begin(), logs.end());
        if (const Problem problem = WritePage(options.html, ReportPage(report), keep); !problem.text.empty())
            return failWith(problem);
    }
    const std::string text = options.json ? ReportJson(report) : ReportText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kExitOk;
}

}  // namespace pyrrow::cli
