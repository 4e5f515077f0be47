// The numbers of both programs' command lines (pyrrow-cli, pyrrow-sim),
// checked in one place: plain decimals within a range. "nan" and "inf"
// would pass a range check (every comparison with NaN is false), and
// hexadecimal ("0x3") or octal forms read as other numbers than a person
// means, so all of them are refused.
#pragma once

#include <CLI/CLI.hpp>

namespace pyrrow::console {

// A CLI11 check: the text is a decimal number (digits, at most one point,
// an optional exponent) from least to most. what names it in the refusal:
// "--gap: give seconds from 0 to 3600, not nan". The check adds nothing to
// the help: the option's own text says the range in words.
CLI::Validator DecimalNumber(double least, double most, const std::string& what = "a number");
// The same for whole numbers: digits only.
CLI::Validator WholeNumber(unsigned long long least, unsigned long long most,
                           const std::string& what = "a whole number");

}  // namespace pyrrow::console
