#include "xml/wide_format.h"

#include <cstdint>

namespace pyrrow {
namespace {

// Appends to a bounded buffer and remembers whether anything was cut.
class BoundedOut {
public:
    BoundedOut(char16_t* out, std::size_t count) : m_out(out), m_count(count) {}

    void Put(char16_t c)
    {
        if (m_len + 1 < m_count)
            m_out[m_len++] = c;
        else
            m_truncated = true;
    }

    void Put(const char16_t* s)
    {
        while (*s != 0)
            Put(*s++);
    }

    void PutUnsigned(std::uint32_t v)
    {
        char16_t digits[10];
        int n = 0;
        do {
            digits[n++] = static_cast<char16_t>(u'0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0)
            Put(digits[--n]);
    }

    int Finish()
    {
        if (m_count == 0)
            return -1;
        m_out[m_len] = 0;
        return m_truncated ? -1 : static_cast<int>(m_len);
    }

private:
    char16_t* m_out;
    std::size_t m_count;
    std::size_t m_len = 0;
    bool m_truncated = false;
};

}  // namespace

int FormatWide(char16_t* out, std::size_t count, const char16_t* fmt, va_list args)
{
    BoundedOut o(out, count);
    for (const char16_t* p = fmt; *p != 0; ++p) {
        if (*p != u'%') {
            o.Put(*p);
            continue;
        }
        switch (p[1]) {
        case u's': {
            const char16_t* s = va_arg(args, const char16_t*);
            o.Put(s != nullptr ? s : u"(null)");
            ++p;
            break;
        }
        case u'd': {
            const int v = va_arg(args, int);
            // Negate in unsigned arithmetic so that INT_MIN prints correctly.
            auto magnitude = static_cast<std::uint32_t>(v);
            if (v < 0) {
                o.Put(u'-');
                magnitude = 0u - magnitude;
            }
            o.PutUnsigned(magnitude);
            ++p;
            break;
        }
        case u'u':
            o.PutUnsigned(va_arg(args, unsigned int));
            ++p;
            break;
        case u'%':
            o.Put(u'%');
            ++p;
            break;
        default:  // not a conversion of ours: copied as it stands
            o.Put(u'%');
            break;
        }
    }
    return o.Finish();
}

}  // namespace pyrrow
