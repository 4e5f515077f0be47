// The small text forms that both command-line programs read and write:
// numbers that are the whole of a text, bytes and digests in hex, times of
// day in UTC.
#pragma once

#include <charconv>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pyrrow::console {

// The number the whole text is, in std::from_chars's plain forms (no
// spaces, no "+", no "0x"); none when any of the text is not part of it or
// the number does not fit.
template <class Number>
std::optional<Number> WholeTextNumber(std::string_view text)
{
    Number value{};
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

// Two lower-case hex digits a byte.
std::string HexText(std::span<const unsigned char> bytes);

// The SHA-256 of the bytes as 64 lower-case hex digits; empty when the
// system's hash failed (the cause went to standard error).
std::string Sha256Hex(std::span<const unsigned char> bytes);

// "2025-01-07T10:15:30.123Z"; for a file name "20250107T101530.123Z".
std::string UtcText(std::chrono::system_clock::time_point when);
std::string UtcFileText(std::chrono::system_clock::time_point when);

}  // namespace pyrrow::console
