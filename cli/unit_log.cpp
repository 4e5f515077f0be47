#include "cli/unit_log.h"

#include <cstdio>

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
    line["firmware"] = {{"path", record.firmware->path},
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
