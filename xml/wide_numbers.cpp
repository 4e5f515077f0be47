#include "xml/wide_numbers.h"

#include "xml/char_class.h"

namespace {

struct Scanned {
    bool negative = false;
    bool digits = false;
    bool overflow = false;  // beyond 32 bits unsigned
    std::uint64_t magnitude = 0;
};

Scanned Scan(const char16_t* text, const char16_t** end)
{
    Scanned s;
    const char16_t* p = text;
    while (*p != 0 && pyrrow::IsWideSpace(*p))
        ++p;
    if (*p == u'+' || *p == u'-')
        s.negative = *p++ == u'-';
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        s.digits = true;
        s.magnitude = s.magnitude * 10 + static_cast<std::uint64_t>(*p - u'0');
        if (s.magnitude > UINT32_MAX) {
            s.overflow = true;
            s.magnitude = std::uint64_t{UINT32_MAX} + 1;  // keeps the loop from wrapping
        }
    }
    if (end != nullptr)
        *end = s.digits ? p : text;
    return s;
}

}  // namespace

std::int32_t ReadLong(const char16_t* text, const char16_t** end)
{
    const Scanned s = Scan(text, end);
    if (s.negative)
        return s.magnitude > std::uint64_t{INT32_MAX} + 1 ? INT32_MIN
                                                          : static_cast<std::int32_t>(-static_cast<std::int64_t>(s.magnitude));
    return s.magnitude > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(s.magnitude);
}

std::uint32_t ReadUnsignedLong(const char16_t* text, const char16_t** end)
{
    const Scanned s = Scan(text, end);
    if (s.overflow)
        return UINT32_MAX;
    const auto value = static_cast<std::uint32_t>(s.magnitude);
    return s.negative ? 0u - value : value;
}
