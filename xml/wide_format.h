// A printf-style formatter over char16_t for the few conversions the program
// uses: %s (a char16_t string), %d (int), %u (unsigned int) and %%.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace pyrrow {

// Writes the formatted text into out, which has room for count code units
// including the terminator. Returns the length of the output, or -1 when it
// did not fit: out then holds as much as fitted, terminated (as a truncating
// wide snprintf does). With count 0 nothing is written and the result is -1.
// A conversion other than the four above is copied to the output as it
// stands; a null %s argument prints "(null)".
int FormatWide(char16_t* out, std::size_t count, const char16_t* fmt, va_list args);

}  // namespace pyrrow
