// Decimal numbers in UTF-16 text, read the way the C library's wcstol and
// wcstoul read them with base 10 and a 32-bit long, so that files and
// command lines read the same as on Windows.
#pragma once

#include <cstdint>

// Leading white space, one sign, digits up to the first other character; no
// digits gives 0 and *end = text; beyond the range the range's limit.
std::int32_t ReadLong(const char16_t* text, const char16_t** end = nullptr);
// The same for unsigned: beyond 32 bits 4294967295; a minus sign negates
// the value modulo 2^32.
std::uint32_t ReadUnsignedLong(const char16_t* text, const char16_t** end = nullptr);
