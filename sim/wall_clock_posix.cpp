#include <time.h>

#include <cstdio>

#include "sim/wall_clock.h"

namespace pyrrow::sim {
namespace {

std::string Format(std::chrono::system_clock::time_point when, const char* layout)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const time_t seconds = static_cast<time_t>(ms / 1000);
    tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[48];
    std::snprintf(text, sizeof text, layout, parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                  parts.tm_min, parts.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point when)
{
    return Format(when, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ");
}

std::string UtcFileText(std::chrono::system_clock::time_point when)
{
    return Format(when, "%04d%02d%02dT%02d%02d%02d.%03dZ");
}

}  // namespace pyrrow::sim
