#include "xml/notice.h"

#include <cstdio>
#include <iterator>
#include <string>

#include <utf8.h>

namespace pyrrow {
namespace {

std::string ToUtf8(const char16_t* s)
{
    std::string out;
    if (s == nullptr)
        return out;
    const char16_t* end = s;
    while (*end != 0)
        ++end;
    try {
        utf8::utf16to8(s, end, std::back_inserter(out));
    } catch (const utf8::exception&) {
        // A lone surrogate: the notice must still appear.
        out.assign("(text is not valid UTF-16)");
    }
    return out;
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
    g_noticeHandler(text != nullptr ? text : u"", caption != nullptr ? caption : u"");
}

NoticeHandler SetNoticeHandler(NoticeHandler handler)
{
    NoticeHandler previous = g_noticeHandler;
    g_noticeHandler = handler != nullptr ? handler : NoticeToStandardError;
    return previous;
}

}  // namespace pyrrow
