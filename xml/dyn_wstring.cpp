#include "xml/dyn_wstring.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>

#include "xml/char_class.h"
#include "xml/wide_format.h"

namespace {

constexpr std::int64_t kMinCapacity = 16;
// The largest capacity whose buffer (capacity + 1 characters) still has a
// length that fits the signed 32-bit arithmetic of the class.
constexpr std::int64_t kMaxCapacity = INT32_MAX - 1;

std::int64_t GrownCapacity(std::int64_t need)
{
    return std::max(2 * need, kMinCapacity);
}

// A buffer of capacity + 1 characters, or null when memory ran out or the
// capacity is beyond what the class can count.
char16_t* NewBuffer(std::int64_t capacity)
{
    if (capacity > kMaxCapacity)
        return nullptr;
    return new (std::nothrow) char16_t[static_cast<std::size_t>(capacity) + 1];
}

std::int32_t LengthOf(const char16_t* s)
{
    std::int32_t n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

// True when s holds at least n characters before its terminator.
bool HasAtLeast(const char16_t* s, std::int32_t n)
{
    for (std::int32_t i = 0; i < n; ++i)
        if (s[i] == 0)
            return false;
    return true;
}

void Copy(char16_t* to, const char16_t* from, std::int32_t n)
{
    std::memmove(to, from, static_cast<std::size_t>(n) * sizeof(char16_t));
}

}  // namespace

CDynWString::~CDynWString()
{
    delete[] m_pszText;
}

void CDynWString::Adopt(char16_t* buf, std::int32_t cap, std::int32_t len)
{
    delete[] m_pszText;
    m_pszText = buf;
    m_nCapacity = cap;
    m_nLength = len;
}

bool CDynWString::Contains(const char16_t* p) const
{
    const std::less_equal<const char16_t*> le;
    return m_pszText != nullptr && le(m_pszText, p) && le(p, m_pszText + m_nCapacity);
}

void CDynWString::Empty()
{
    if (m_pszText != nullptr) {
        m_pszText[0] = 0;
        m_nLength = 0;
    }
}

void CDynWString::Free()
{
    Adopt(nullptr, 0, 0);
}

int CDynWString::Alloc(std::int32_t n)
{
    n = std::max(n, 0);
    if (n >= m_nCapacity) {
        Free();
        const std::int64_t cap = GrownCapacity(n);
        char16_t* buf = NewBuffer(cap);
        if (buf == nullptr)
            return 0;
        Adopt(buf, static_cast<std::int32_t>(cap), 0);
    }
    m_pszText[0] = 0;
    m_nLength = 0;
    return 1;
}

int CDynWString::Set(const char16_t* s)
{
    if (s != nullptr && Contains(s)) {
        // A tail of our own text: move it to the front, no buffer change.
        const std::int32_t n = LengthOf(s);
        Copy(m_pszText, s, n + 1);
        m_nLength = n;
        return 1;
    }
    const std::int32_t n = s != nullptr ? LengthOf(s) : 0;
    if (!Alloc(std::max(n, static_cast<std::int32_t>(kMinCapacity))))
        return 0;
    Copy(m_pszText, s != nullptr ? s : u"", n + 1);
    m_nLength = n;
    return 1;
}

int CDynWString::SetN(const char16_t* s, std::int32_t n)
{
    if (s == nullptr || n < 0 || !HasAtLeast(s, n))
        return 0;
    if (!Contains(s) && !Alloc(n))
        return 0;
    Copy(m_pszText, s, n);
    m_pszText[n] = 0;
    m_nLength = n;
    return 1;
}

int CDynWString::Append(const char16_t* s)
{
    if (s == nullptr)
        return 0;
    if (m_pszText == nullptr)
        return Set(s);
    return AppendN(s, LengthOf(s));
}

int CDynWString::AppendN(const char16_t* s, std::int32_t n)
{
    if (s == nullptr || n < 0 || !HasAtLeast(s, n))
        return 0;
    if (m_pszText == nullptr)
        return SetN(s, n);
    const std::int64_t need = std::int64_t{m_nLength} + n;
    if (need < m_nCapacity) {
        Copy(m_pszText + m_nLength, s, n);
    } else {
        const std::int64_t cap = GrownCapacity(need);
        char16_t* buf = NewBuffer(cap);
        if (buf == nullptr)
            return 0;
        Copy(buf, m_pszText, m_nLength);
        Copy(buf + m_nLength, s, n);
        Adopt(buf, static_cast<std::int32_t>(cap), m_nLength);
    }
    m_nLength += n;
    m_pszText[m_nLength] = 0;
    return 1;
}

int CDynWString::AppendChar(char16_t c)
{
    if (m_pszText == nullptr) {
        if (!Alloc(16))
            return 0;
    } else if (std::int64_t{m_nLength} + 2 >= m_nCapacity) {
        const std::int64_t cap = GrownCapacity(std::int64_t{m_nLength} + 2);
        char16_t* buf = NewBuffer(cap);
        if (buf == nullptr)
            return 0;
        Copy(buf, m_pszText, m_nLength);
        Adopt(buf, static_cast<std::int32_t>(cap), m_nLength);
    }
    m_pszText[m_nLength] = c;
    m_pszText[m_nLength + 1] = 0;
    if (c != 0)
        ++m_nLength;
    return 1;
}

int CDynWString::Replace(const char16_t* p, const char16_t* r, std::int32_t start)
{
    if (m_pszText == nullptr || p == nullptr || r == nullptr)
        return -1;
    if (start < 0 || start >= m_nLength)
        return -2;
    const std::int32_t lp = LengthOf(p);
    const std::int32_t lr = LengthOf(r);
    const char16_t* const end = m_pszText + m_nLength;
    const char16_t* hit = std::search(static_cast<const char16_t*>(m_pszText) + start, end, p, p + lp);
    if (hit == end && lp != 0)
        return 0;
    const auto match = static_cast<std::int32_t>(hit - m_pszText);
    const std::int32_t tail = m_nLength - match - lp;
    const std::int64_t newLength = std::int64_t{m_nLength} - lp + lr;
    if (newLength >= m_nCapacity) {
        const std::int64_t cap = GrownCapacity(std::int64_t{m_nLength} + lr);
        char16_t* buf = NewBuffer(cap);
        if (buf == nullptr)
            return -3;
        Copy(buf, m_pszText, match);
        Copy(buf + match, r, lr);
        Copy(buf + match + lr, m_pszText + match + lp, tail);
        Adopt(buf, static_cast<std::int32_t>(cap), m_nLength);
    } else {
        Copy(m_pszText + match + lr, m_pszText + match + lp, tail);
        Copy(m_pszText + match, r, lr);
    }
    m_nLength = static_cast<std::int32_t>(newLength);
    m_pszText[m_nLength] = 0;
    return 1;
}

int CDynWString::TrimLeft()
{
    if (m_pszText == nullptr)
        return 0;
    std::int32_t k = 0;
    while (k < m_nLength && pyrrow::IsWideSpace(m_pszText[k]))
        ++k;
    Copy(m_pszText, m_pszText + k, m_nLength - k + 1);
    m_nLength -= k;
    return 1;
}

int CDynWString::TrimRight()
{
    if (m_pszText == nullptr)
        return 0;
    while (m_nLength > 0 && pyrrow::IsWideSpace(m_pszText[m_nLength - 1]))
        m_pszText[--m_nLength] = 0;
    return 1;
}

int CDynWString::Format(const char16_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    const int result = FormatV(fmt, args);
    va_end(args);
    return result;
}

int CDynWString::FormatV(const char16_t* fmt, va_list args)
{
    if (fmt == nullptr)
        return 0;
    // Each attempt goes into a fresh buffer, so that an argument pointing
    // into our own text stays intact until the output is complete.
    std::int64_t cap = m_pszText != nullptr ? m_nCapacity
                                            : GrownCapacity(std::max(2 * LengthOf(fmt), static_cast<std::int32_t>(kMinCapacity)));
    for (;;) {
        char16_t* buf = NewBuffer(cap);
        if (buf == nullptr) {
            Free();
            return 0;
        }
        va_list attempt;
        va_copy(attempt, args);  // every attempt needs the arguments from the start
        const int written = pyrrow::FormatWide(buf, static_cast<std::size_t>(cap), fmt, attempt);
        va_end(attempt);
        if (written >= 0) {
            Adopt(buf, static_cast<std::int32_t>(cap), written);
            return 1;
        }
        delete[] buf;
        cap = GrownCapacity(2 * cap + 1);
    }
}

int CDynWString::Compare(const char16_t* s) const
{
    if (m_pszText == nullptr)
        return s == nullptr ? 0 : -1;
    if (s == nullptr)
        return -1;
    for (const char16_t* t = m_pszText;; ++t, ++s) {
        if (*t != *s)
            return *t < *s ? -1 : 1;
        if (*t == 0)
            return 0;
    }
}

void CDynWString::ReleaseBuffer()
{
    m_nLength = m_pszText != nullptr ? LengthOf(m_pszText) : 0;
}
