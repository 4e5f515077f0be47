#include "xml/notice.h"

#include <cstdio>
#include <new>
#include <string>

#include "platform/utf.h"

namespace pyrrow {
namespace {

std::string ToUtf8(const char16_t* s)
{
    // A lone surrogate becomes U+FFFD: the notice must still appear.
    return s == nullptr ? std::string() : platform::Utf16ToUtf8Lossy(s);
}

void NoticeToStandardError(const char16_t* text, const char16_t* caption)
{
    std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
}

NoticeHandler g_noticeHandler = NoticeToStandardError;

}  // namespace

NoticeName::NoticeName(const char16_t* name)
{
    int n = 0;
    if (name != nullptr)
        while (n < kLength && name[n] != 0)
            ++n;
    const bool cut = name != nullptr && name[n] != 0;
    if (cut && name[n - 1] >= 0xD800 && name[n - 1] <= 0xDBFF)
        --n;
    for (int i = 0; i < n; ++i)
        m_text[i] = name[i];
    if (cut)
        m_text[n++] = u'\u2026';
    m_text[n] = 0;
}

void ShowNotice(const char16_t* text, const char16_t* caption)
{
    // Nothing throws out of the library: a notice that memory does not
    // suffice for is not shown.
    try {
        g_noticeHandler(text != nullptr ? text : u"", caption != nullptr ? caption : u"");
    } catch (const std::bad_alloc&) {
        std::fputs("[notice] (not shown: out of memory)\n", stderr);
    }
}

NoticeHandler SetNoticeHandler(NoticeHandler handler)
{
    NoticeHandler previous = g_noticeHandler;
    g_noticeHandler = handler != nullptr ? handler : NoticeToStandardError;
    return previous;
}

}  // namespace pyrrow
