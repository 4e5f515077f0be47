#include "cli/output/unit_log.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

#include "cli/output/json_text.h"
#include "cli/output/log_lines.h"
#include "console/text.h"

namespace pyrrow::cli {

namespace {

// The file as the record names it: a path from where the station was
// started means nothing to a reader of the log elsewhere.
std::string AbsolutePath(const std::string& path)
{
    // The command line's text is UTF-8 on every system: char8_t keeps it
    // so. Text a system cannot convert stays as it was given.
    try {
        std::error_code error;
        const std::filesystem::path absolute =
            std::filesystem::absolute(std::filesystem::path(std::u8string(path.begin(), path.end())), error);
        if (error)
            return path;
        const std::u8string text = absolute.lexically_normal().u8string();
        return std::string(text.begin(), text.end());
    } catch (const std::exception&) {
        return path;
    }
}

}  // namespace

bool IsRecordLine(std::string_view line)
{
    const auto json = ParseJsonLine(line);
    if (!json.is_object() || json.value("v", 0) != 1)
        return false;
    for (const char* key : {"start", "end", "host", "fixture", "unit", "firmware", "result"})
        if (!json.contains(key))
            return false;
    return true;
}

namespace {

// Why the text of an existing log, read from its start, is not records of
// ours, or "" when it is.
std::string LogContentProblem(const std::string& path, platform::NamedFile& file)
{
    // Every line must have the shape of a record (RecordLine begins each
    // with the same text and ends it with the object's end), and the first
    // and the last line are read as JSON in full: a year of records is
    // looked at in a moment, and a file of any other JSON fails on its
    // first line. A line far longer than any record ends the reading.
    constexpr std::string_view kRecordStart = R"({"v":1,"start":")";
    const auto notALog = [&path](const std::string& why) {
        return "--log: " + path + " is not a log of pyrrow-cli (" + why + "), so nothing is added to it";
    };
    std::string problem;
    std::string last;
    std::uint64_t lines = 0;
    platform::SystemError error;
    const bool read = ReadLogLines(
        file,
        [&](const LogLine& line) {
            if (line.end == LogLine::End::FileEnd)
                problem = notALog("its last line is not whole");
            else if (line.end == LogLine::End::TooLong || !line.text.starts_with(kRecordStart) ||
                     !line.text.ends_with('}') || (line.number == 1 && !IsRecordLine(line.text)))
                problem = notALog("line " + std::to_string(line.number) + " is no record of it");
            last.assign(line.text);
            lines = line.number;
            return problem.empty();
        },
        &error);
    if (!read)
        return "--log: cannot read " + path + ": " + error.text;
    if (problem.empty() && lines > 1 && !IsRecordLine(last))
        return notALog("line " + std::to_string(lines) + " is no record of it");
    return problem;
}

// Why a file of this identity may not be the log, or "".
std::string KeptFileProblem(const std::string& path, const platform::FileIdentity& identity,
                            const std::vector<platform::FileIdentity>& keep)
{
    for (const platform::FileIdentity& kept : keep)
        if (kept == identity)
            return "--log: " + path + " is a file this run reads or writes (the firmware, the settings, the " +
                   "trace, standard output or error), so nothing is added to it";
    return {};
}

}  // namespace

std::string UnitLog::Open(const std::string& path, const std::vector<platform::FileIdentity>& keep)
{
    m_keep = keep;
    m_path = path;
    return OpenFile(path, &m_file);
}

std::string UnitLog::OpenFile(const std::string& path, platform::NamedFile* file) const
{
    // Without waiting: a FIFO with no reader, or a socket, is refused at
    // once rather than holding the station before its first unit.
    const std::string notAFile = "--log: " + path + " is not a regular file on a disk";
    platform::SystemError error;
    if (!file->Open(path, platform::NamedFile::Access::Append, &error))
        return error.kind == platform::SystemError::Kind::NotAFile ? notAFile
                                                                  : "--log: cannot open " + path + ": " + error.text;
    platform::FileFacts facts;
    std::string problem;
    if (!file->Facts(&facts, &error))
        problem = "--log: cannot look at " + path + ": " + error.text;
    else if (!facts.Regular())
        problem = notAFile;
    else
        problem = KeptFileProblem(path, facts.identity, m_keep);
    // Lines are only ever added; a file that is not such a log (the
    // firmware given by mistake, a trace, JSON of another kind) is left as
    // it is.
    if (problem.empty())
        problem = LogContentProblem(path, *file);
    if (!problem.empty())
        file->Close(nullptr);
    return problem;
}

bool UnitLog::PathNamesFile() const
{
    platform::FileFacts named;
    platform::FileFacts open;
    return platform::FactsAt(m_path, &named, nullptr) && m_file.Facts(&open, nullptr) &&
           named.identity == open.identity;
}

UnitLog::Appended UnitLog::Append(const std::string& line)
{
    const std::lock_guard lock(m_mutex);
    Appended appended;
    if (!PathNamesFile()) {
        // Removed or renamed: the next records go where the path leads,
        // into a log made as at the start.
        platform::NamedFile file;
        if (const std::string problem = OpenFile(m_path, &file); !problem.empty()) {
            appended.problem = problem + " (" + m_path + " no longer names the log the station had open: it " +
                               "was removed or renamed)";
            return appended;
        }
        m_file = std::move(file);
        appended.notice = "--log: " + m_path + " no longer named the log the station had open (it was removed " +
                          "or renamed); the records go on in a log made anew at that path";
    }
    appended.problem = Write(line);
    return appended;
}

void UnitLog::Sync()
{
    const std::lock_guard lock(m_mutex);
    if (m_file.IsOpen())
        m_file.Sync(nullptr);
}

std::string UnitLog::Write(const std::string& line)
{
    const auto problem = [this](const char* what, const platform::SystemError& error) {
        return std::string("--log: cannot ") + what + " " + m_path + ": " + error.text;
    };
    platform::SystemError error;
    platform::FileFacts before;
    if (!m_file.Facts(&before, &error))
        return problem("look at", error);
    const std::string text = line + "\n";
    const char* what = "write to";
    if (m_file.Write(text.data(), text.size(), &error)) {
        if (m_file.Sync(&error))
            return {};
        what = "sync";
    }
    // A piece of a line would spoil every reader of the file.
    if (!m_file.Truncate(before.size, nullptr))
        return problem(what, error) + " (and a piece of the record may be left at its end)";
    return problem(what, error);
}

std::string RecordLine(const UnitRecord& record)
{
    using Json = nlohmann::ordered_json;
    const UnitResult& result = record.result;
    const auto text = [](const std::string& value) { return value.empty() ? Json() : Json(value); };
    Json line;
    line["v"] = 1;
    line["start"] = console::UtcText(record.start);
    line["end"] = console::UtcText(record.end);
    line["id"] = record.id;
    line["host"] = record.host;
    line["fixture"] = record.fixture;
    line["n"] = record.number;
    line["tags"] = TagsJson(record.tags != nullptr ? *record.tags : Tags{});
    Json unit;
    switch (record.link) {
    case DeviceUri::Link::Serial:
        unit = {{"link", "serial"}, {"path", text(record.path)}, {"by_id", text(record.stableName)}};
        break;
    case DeviceUri::Link::Tcp: unit = {{"link", "tcp"}, {"address", text(record.path)}}; break;
    case DeviceUri::Link::Usb:
        unit = {{"link", "usb"}, {"serial_number", text(record.serialNumber)}, {"path", text(record.path)}};
        break;
    }
    line["unit"] = unit;
    line["firmware"] = {{"path", AbsolutePath(record.firmware->path)},
                        {"size", record.firmware->bytes.size()},
                        {"sha256", record.firmware->sha256}};
    line["result"] = result.ok ? "ok" : result.kind == "cancelled" ? "cancelled" : "failed";
    line["exit_code"] = result.exitCode;
    if (result.ok)
        line["error"] = nullptr;
    else
        line["error"] = {{"kind", result.kind}, {"message", result.message}, {"cause", text(result.cause)}};
    line["bytes_sent"] = result.bytesSent;
    line["duration_ms"] = result.durationMs;
    // Paths come from the command line as bytes: each reads back as the
    // bytes given, so that the record names the file that was flashed.
    return JsonLine(line);
}

}  // namespace pyrrow::cli
