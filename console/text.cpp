#include "console/text.h"

#include <array>
#include <cstdio>

#include "platform/files/sha256.h"

namespace pyrrow::console {
namespace {

// The calendar of <chrono>: the same on every system, no C library call.
std::string UtcFormat(std::chrono::system_clock::time_point when, const char* layout)
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

std::string HexText(std::span<const unsigned char> bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string Sha256Hex(std::span<const unsigned char> bytes)
{
    std::array<unsigned char, 32> digest{};
    return platform::Sha256Digest(bytes, digest) ? HexText(digest) : std::string();
}

std::string UtcText(std::chrono::system_clock::time_point when)
{
    return UtcFormat(when, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ");
}

std::string UtcFileText(std::chrono::system_clock::time_point when)
{
    return UtcFormat(when, "%04d%02u%02uT%02d%02d%02d.%03dZ");
}

}  // namespace pyrrow::console
