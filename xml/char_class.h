// Fixed classification of UTF-16 code units (white space, alphanumeric,
// graphic) used by trimming and the parser. It never consults the process
// locale, so a settings file reads the same on every machine.
#pragma once

namespace pyrrow {

// ASCII white space (tab, line feed, vertical tab, form feed, carriage
// return, space) and the Unicode space separators.
bool IsWideSpace(char16_t c);

// ASCII letters and digits and the letters of Latin-1 and Latin Extended-A
// (which covers Czech).
bool IsWideAlnum(char16_t c);

// Every code unit that prints something: not a control character, not white
// space and not the byte order mark.
bool IsWideGraph(char16_t c);

}  // namespace pyrrow
