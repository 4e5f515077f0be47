#include "cli/unit_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include <nlohmann/json.hpp>

namespace pyrrow::cli {

std::string UtcTimestamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{floor<milliseconds>(time - day)};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

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

bool LooksLikeLog(char first, char last)
{
    return first == '{' && last == '\n';
}

std::string NotALog(const std::string& path)
{
    return "--log: " + path + " is not a log of JSON lines, so nothing is added to it";
}

std::string RecordLine(const UnitRecord& record)
{
    using Json = nlohmann::ordered_json;
    const UnitResult& result = record.result;
    const auto text = [](const std::string& value) { return value.empty() ? Json() : Json(value); };
    Json line;
    line["v"] = 1;
    line["start"] = UtcTimestamp(record.start);
    line["end"] = UtcTimestamp(record.end);
    line["host"] = record.host;
    line["fixture"] = record.fixture;
    Json unit;
    switch (record.link) {
    case DeviceUri::Link::Serial:
        unit["link"] = "serial";
        unit["path"] = text(record.path);
        unit["by_id"] = text(record.stableName);
        break;
    case DeviceUri::Link::Tcp:
        unit["link"] = "tcp";
        unit["address"] = text(record.path);
        break;
    case DeviceUri::Link::Usb:
        unit["link"] = "usb";
        unit["serial_number"] = text(record.serialNumber);
        unit["path"] = text(record.path);
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
    line["bytes_sent"] = record.bytesSent;
    line["duration_ms"] = result.durationMs;
    // Paths come from the command line as bytes: text that is not UTF-8 is
    // replaced rather than left to lose the record.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace pyrrow::cli
