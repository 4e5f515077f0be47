#include "sim/wall_clock.h"

#include <cstdio>

namespace pyrrow::sim {
namespace {

// The calendar of <chrono>: the same on every system, no C library call.
std::string Format(std::chrono::system_clock::time_point when, const char* layout)
{
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(when);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss time{ms - day};
    char text[48];
    std::snprintf(text, sizeof text, layout, static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                  static_cast<int>(time.subseconds().count()));
    return text;
}

}  // namespace

std::string UtcText(std::chrono::system_clock::time_point when)
{
    return Format(when, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ");
}

std::string UtcFileText(std::chrono::system_clock::time_point when)
{
    return Format(when, "%04d%02u%02uT%02d%02d%02d.%03dZ");
}

}  // namespace pyrrow::sim
