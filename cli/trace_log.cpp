#include "cli/trace_log.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cli/json_text.h"
#include "cli/unit_log.h"

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

FileIdentity TraceLog::Identity() const
{
    FileFacts facts;
    std::string ignored;
    if (!m_file.IsOpen() || !m_file.Facts(&facts, &ignored))
        return {};
    return facts.identity;
}

bool TraceLog::Open(const std::string& path, const std::vector<FileIdentity>& keep, std::string* problem)
{
    m_path = path;
    std::string reason;
    bool exists = false;
    if (m_file.CreateNew(path, &exists, &reason))
        return true;
    const std::string refused = "--trace: will not write over " + path + ": ";
    if (!exists) {
        *problem = "--trace: cannot create " + path + ": " + reason;
        return false;
    }
    // Something is there: only an earlier trace of ours is written over.
    NamedFile existing;
    FileFacts facts;
    if (!existing.OpenToRewrite(path, &reason) || !existing.Facts(&facts, &reason)) {
        *problem = "--trace: cannot open " + path + ", which exists: " + reason;
        return false;
    }
    if (std::find(keep.begin(), keep.end(), facts.identity) != keep.end()) {
        *problem = refused + "it is a file this run reads or writes (the firmware, the settings, standard output " +
                   "or error)";
        return false;
    }
    if (!facts.regular) {
        *problem = refused + "it is not a regular file";
        return false;
    }
    if (facts.readOnly) {
        *problem = refused + "it is read-only";
        return false;
    }
    std::string start(4096, '\0');
    std::size_t read = 0;
    if (!existing.Read(start.data(), start.size(), &read, &reason)) {
        *problem = "--trace: cannot read " + path + ", which exists: " + reason;
        return false;
    }
    start.resize(read);
    if (IsLog(start)) {
        *problem = refused + "it is a log of pyrrow-cli (--log), whose records are kept";
        return false;
    }
    if (read > 0 && !IsTrace(start)) {
        *problem = refused + "it is not a trace of pyrrow-cli; name a new file or remove it";
        return false;
    }
    if (!existing.Truncate(0, &reason)) {
        *problem = "--trace: cannot empty " + path + ": " + reason;
        return false;
    }
    m_file = std::move(existing);
    return true;
}

void TraceLog::Write(const std::string& unit, bool sent, std::span<const unsigned char> bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
    nlohmann::ordered_json line;
    line["time"] = static_cast<double>(static_cast<long long>(ms * 1000.0)) / 1000.0;
    line["unit"] = unit;
    line["direction"] = sent ? "sent" : "received";
    line["bytes"] = hex;
    const std::string text = JsonLine(line) + "\n";

    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failure)
        return;
    std::string reason;
    if (m_file.Write(text.data(), text.size(), &reason)) {
        m_written += text.size();
        return;
    }
    // The trace keeps its whole lines only.
    std::string ignored;
    m_file.Truncate(m_written, &ignored);
    m_failure = "--trace: writing " + m_path + " failed: " + reason + "; the trace ends with the exchange before it (" +
                std::to_string(m_written) + " bytes)";
}

std::optional<std::string> TraceLog::Failure() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_failure;
}

}  // namespace pyrrow::cli
