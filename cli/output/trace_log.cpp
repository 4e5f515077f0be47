#include "cli/output/trace_log.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cli/output/json_text.h"
#include "cli/output/unit_log.h"
#include "console/text.h"

namespace pyrrow::cli {
namespace {

// Whether the text begins with a line that this class writes.
bool IsTrace(const std::string& start)
{
    const std::string line = start.substr(0, start.find('\n'));
    const auto json = ParseJsonLine(line);
    return json.is_object() && json.contains("time") && json.contains("unit") && json.contains("direction") &&
           json.contains("bytes");
}

// Whether any whole line of the text is a record of the station's log.
bool IsLog(const std::string& start)
{
    for (std::size_t begin = 0, end; (end = start.find('\n', begin)) != std::string::npos; begin = end + 1)
        if (IsRecordLine(std::string_view(start).substr(begin, end - begin)))
            return true;
    return false;
}

}  // namespace

platform::FileIdentity TraceLog::Identity() const
{
    platform::FileFacts facts;
    if (!m_file.IsOpen() || !m_file.Facts(&facts, nullptr))
        return {};
    return facts.identity;
}

std::string TraceLog::Open(const std::string& path, const std::vector<platform::FileIdentity>& keep)
{
    using Access = platform::NamedFile::Access;
    m_path = path;
    platform::SystemError error;
    if (m_file.Open(path, Access::CreateNew, &error))
        return {};
    const std::string refused = "--trace: will not write over " + path + ": ";
    if (error.kind != platform::SystemError::Kind::Exists)
        return "--trace: cannot create " + path + ": " + error.text;
    // Something is there: only an earlier trace of ours is written over.
    platform::NamedFile existing;
    platform::FileFacts facts;
    if (!existing.Open(path, Access::Rewrite, &error) || !existing.Facts(&facts, &error))
        return "--trace: cannot open " + path + ", which exists: " + error.text;
    if (std::find(keep.begin(), keep.end(), facts.identity) != keep.end())
        return refused + "it is a file this run reads or writes (the firmware, the settings, standard output " +
               "or error)";
    if (!facts.Regular())
        return refused + "it is not a regular file";
    if (facts.readOnly)
        return refused + "it is read-only";
    std::string start(4096, '\0');
    std::size_t read = 0;
    if (!existing.Read(start.data(), start.size(), &read, &error))
        return "--trace: cannot read " + path + ", which exists: " + error.text;
    start.resize(read);
    if (IsLog(start))
        return refused + "it is a log of pyrrow-cli (--log), whose records are kept";
    if (read > 0 && !IsTrace(start))
        return refused + "it is not a trace of pyrrow-cli; name a new file or remove it";
    if (!existing.Truncate(0, &error))
        return "--trace: cannot empty " + path + ": " + error.text;
    m_file = std::move(existing);
    return {};
}

void TraceLog::Write(const std::string& unit, bool sent, std::span<const unsigned char> bytes)
{
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    nlohmann::ordered_json line;
    line["time"] = static_cast<double>(static_cast<long long>(ms * 1000.0)) / 1000.0;
    line["unit"] = unit;
    line["direction"] = sent ? "sent" : "received";
    line["bytes"] = console::HexText(bytes);
    const std::string text = JsonLine(line) + "\n";

    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failure)
        return;
    platform::SystemError error;
    if (m_file.Write(text.data(), text.size(), &error)) {
        m_written += text.size();
        return;
    }
    // The trace keeps its whole lines only.
    m_file.Truncate(m_written, nullptr);
    m_failure = "--trace: writing " + m_path + " failed: " + error.text +
                "; the trace ends with the exchange before it (" + std::to_string(m_written) + " bytes)";
}

std::optional<std::string> TraceLog::Failure() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

}  // namespace pyrrow::cli
