#include "platform/utf.h"

#include <cstdint>
#include <iterator>

#include <utf8.h>

namespace pyrrow::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Walks the code points; a lone surrogate is given to invalid, which either
// stops the walk (false) or supplies a stand-in.
template <class Invalid>
bool Encode(std::u16string_view text, std::string* out, Invalid invalid)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        char32_t cp = c;
        if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            cp = 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
            if (!invalid())
                return false;
            cp = kReplacement;
        }
        utf8::append(static_cast<std::uint32_t>(cp), std::back_inserter(*out));
    }
    return true;
}

}  // namespace

std::optional<std::string> Utf16ToUtf8(std::u16string_view text)
{
    std::string out;
    if (!Encode(text, &out, [] { return false; }))
        return std::nullopt;
    return out;
}

std::string Utf16ToUtf8Lossy(std::u16string_view text)
{
    std::string out;
    Encode(text, &out, [] { return true; });
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text)
{
    if (!utf8::is_valid(text.begin(), text.end()))
        return std::nullopt;
    std::u16string out;
    utf8::utf8to16(text.begin(), text.end(), std::back_inserter(out));
    return out;
}

std::u16string Utf8ToUtf16Escaped(std::string_view text)
{
    std::u16string out;
    for (auto it = text.begin(); it != text.end();) {
        const auto invalid = utf8::find_invalid(it, text.end());
        utf8::utf8to16(it, invalid, std::back_inserter(out));
        if (invalid == text.end())
            break;
        out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(*invalid)));
        it = invalid + 1;
    }
    return out;
}

std::optional<std::string> Utf16ToUtf8Escaped(std::u16string_view text)
{
    std::string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !(text[i] >= 0xDC80 && text[i] <= 0xDCFF && (i == 0 || !IsHighSurrogate(text[i - 1]))))
            continue;
        const auto piece = Utf16ToUtf8(text.substr(start, i - start));
        if (!piece)
            return std::nullopt;
        out += *piece;
        if (i < text.size())
            out.push_back(static_cast<char>(text[i] - 0xDC00));
        start = i + 1;
    }
    return out;
}

std::string SystemName(std::u16string_view text)
{
    return Utf16ToUtf8Escaped(text).value_or(std::string());
}

std::string Utf8Lossy(std::string_view text)
{
    std::string valid;
    utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid), static_cast<std::uint32_t>(kReplacement));
    return valid;
}

std::u16string Utf8ToUtf16Lossy(std::string_view text)
{
    const std::string valid = Utf8Lossy(text);
    std::u16string out;
    utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(out));
    return out;
}

void AppendCodePoint(std::u16string& text, char32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = kReplacement;
    if (codePoint < 0x10000) {
        text.push_back(static_cast<char16_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

}  // namespace pyrrow::platform
