#include "console/decimal_number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "console/text.h"

namespace pyrrow::console {
namespace {

std::string Plain(double value)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

// Digits with at most one point, then an optional exponent: what strtod
// reads as a decimal and nothing of its other forms (hexadecimal, nan,
// inf, leading spaces).
bool IsDecimal(const std::string& text)
{
    std::size_t i = 0;
    std::size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        if (i == start)
            return false;
    }
    return i == text.size();
}

}  // namespace

CLI::Validator DecimalNumber(double least, double most, const std::string& what)
{
    const std::string range = Plain(least) + " to " + Plain(most);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const double value = IsDecimal(text) ? std::strtod(text.c_str(), nullptr) : NAN;
            if (std::isfinite(value) && value >= least && value <= most)
                return {};
            return "give " + what + " from " + range + ", not " + text;
        },
        "");
}

CLI::Validator WholeNumber(unsigned long long least, unsigned long long most, const std::string& what)
{
    const std::string range = std::to_string(least) + " to " + std::to_string(most);
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const auto value = WholeTextNumber<unsigned long long>(text);
            if (value && *value >= least && *value <= most)
                return {};
            return "give " + what + " from " + range + ", not " + text;
        },
        "");
}

}  // namespace pyrrow::console
