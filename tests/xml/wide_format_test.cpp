#include "xml/wide_format.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace {

struct Result {
    int written;
    std::u16string text;
};

Result Fmt(std::size_t count, const char16_t* fmt, ...)
{
    char16_t buf[64];
    std::fill(std::begin(buf), std::end(buf), u'#');
    va_list args;
    va_start(args, fmt);
    const int written = pyrrow::FormatWide(buf, count, fmt, args);
    va_end(args);
    return {written, count > 0 ? std::u16string(buf) : std::u16string()};
}

TEST(WideFormat, Conversions)
{
    EXPECT_EQ(Fmt(64, u"<%s>", u"Pyrrow").text, u"<Pyrrow>");
    EXPECT_EQ(Fmt(64, u"%d|%d|%d", 0, -1, INT_MIN).text, u"0|-1|-2147483648");
    EXPECT_EQ(Fmt(64, u"%d", INT_MAX).text, u"2147483647");
    EXPECT_EQ(Fmt(64, u"%u.%u", 0u, 4294967295u).text, u"0.4294967295");
    EXPECT_EQ(Fmt(64, u"100%%").text, u"100%");
    EXPECT_EQ(Fmt(64, u"%s", static_cast<const char16_t*>(nullptr)).text, u"(null)");
    EXPECT_EQ(Fmt(64, u"%s", u"\u010Cesk\u00FD").text, u"\u010Cesk\u00FD");
}

TEST(WideFormat, UnknownConversionsAreCopied)
{
    EXPECT_EQ(Fmt(64, u"%x%").text, u"%x%");
}

TEST(WideFormat, ReportsLengthOrTruncation)
{
    const Result fits = Fmt(6, u"%d", 12345);  // five characters and the terminator
    EXPECT_EQ(fits.written, 5);
    EXPECT_EQ(fits.text, u"12345");

    const Result cut = Fmt(5, u"%d", 12345);
    EXPECT_EQ(cut.written, -1);
    EXPECT_EQ(cut.text, u"1234");

    const Result one = Fmt(1, u"x");
    EXPECT_EQ(one.written, -1);
    EXPECT_EQ(one.text, u"");

    EXPECT_EQ(Fmt(0, u"x").written, -1);
    EXPECT_EQ(Fmt(1, u"").written, 0);
}

}  // namespace
