// Conversions between the program's UTF-16 text and the UTF-8 of the system's
// interfaces (paths, device names, arguments, standard error), in one place
// with two clear policies.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pyrrow::platform {

// For names of files and devices: a text that is not valid UTF-16 (a lone
// surrogate) gives nothing, since a replacement would name another object.
std::optional<std::string> Utf16ToUtf8(std::u16string_view text);

// For names the system gives (paths): bytes that are not UTF-8 give nothing,
// since such a name could not be opened again.
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// For names that are bytes to the system (POSIX paths and device names):
// each byte that is not part of UTF-8 becomes a lone surrogate U+DC80 to
// U+DCFF, and the way back gives that byte again, so that any name opens
// what it named. Other lone surrogates give nothing on the way back.
std::u16string Utf8ToUtf16Escaped(std::string_view text);
std::optional<std::string> Utf16ToUtf8Escaped(std::u16string_view text);
// A name of the program's text (the window's port list) in the form the
// system's calls take: Utf16ToUtf8Escaped, empty where that gives nothing.
std::string SystemName(std::u16string_view text);

// For texts people read: what is not valid becomes U+FFFD.
std::string Utf16ToUtf8Lossy(std::u16string_view text);
std::u16string Utf8ToUtf16Lossy(std::string_view text);
std::string Utf8Lossy(std::string_view text);
// Appends one code point (from a wide-character or multibyte library call);
// a value that is no code point becomes U+FFFD.
void AppendCodePoint(std::u16string& text, char32_t codePoint);

}  // namespace pyrrow::platform
