#include "xml/dyn_wstring.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "support/named_row.h"

namespace {

std::u16string Text(const CDynWString& s)
{
    return s.GetString() != nullptr ? std::u16string(s.GetString()) : u"<null>";
}

// A string holding text in a buffer of exactly the given capacity.
void Prepare(CDynWString& s, std::int32_t capacity, const std::u16string& text)
{
    ASSERT_TRUE(s.Alloc(capacity / 2));
    ASSERT_EQ(s.GetCapacity(), capacity);
    ASSERT_TRUE(s.Set(text.c_str()));
    ASSERT_EQ(s.GetCapacity(), capacity);
}

TEST(DynWString, NewStringHasNoBuffer)
{
    CDynWString s;
    EXPECT_EQ(s.GetString(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 0);
    EXPECT_EQ(s.GetLength(), 0);
    EXPECT_EQ(s.Compare(nullptr), 0);
    EXPECT_EQ(s.Compare(u""), -1);
}

TEST(DynWString, FirstSetGivesCapacity32)
{
    CDynWString s;
    EXPECT_EQ(s.Set(u"COM1"), 1);
    EXPECT_EQ(Text(s), u"COM1");
    EXPECT_EQ(s.GetCapacity(), 32);

    CDynWString empty;
    EXPECT_EQ(empty.Set(nullptr), 1);
    EXPECT_EQ(Text(empty), u"");
    EXPECT_EQ(empty.GetCapacity(), 32);
}

TEST(DynWString, SetOfLongTextAllocatesTwiceItsLength)
{
    CDynWString s;
    const std::u16string text(40, u'x');
    EXPECT_EQ(s.Set(text.c_str()), 1);
    EXPECT_EQ(s.GetCapacity(), 80);
    // A shorter text fits into the buffer it has.
    EXPECT_EQ(s.Set(u"ab"), 1);
    EXPECT_EQ(s.GetCapacity(), 80);
    EXPECT_EQ(Text(s), u"ab");
}

TEST(DynWString, AllocKeepsALargeEnoughBufferButEmptiesIt)
{
    CDynWString s;
    EXPECT_EQ(s.Alloc(0), 1);
    EXPECT_EQ(s.GetCapacity(), 16);
    s.Set(u"abc");
    EXPECT_EQ(s.Alloc(10), 1);
    EXPECT_EQ(s.GetCapacity(), 32);  // Set(16) grew it to 32; 10 < 32 keeps it
    EXPECT_EQ(Text(s), u"");
    EXPECT_EQ(s.Alloc(32), 1);  // n equal to the capacity grows
    EXPECT_EQ(s.GetCapacity(), 64);
}

TEST(DynWString, EmptyKeepsBufferFreeDropsIt)
{
    CDynWString s;
    s.Empty();
    EXPECT_EQ(s.GetString(), nullptr);
    s.Set(u"abc");
    s.Empty();
    EXPECT_EQ(Text(s), u"");
    EXPECT_EQ(s.GetCapacity(), 32);
    s.Free();
    EXPECT_EQ(s.GetString(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 0);
}

struct GrowthCase {
    const char* name;
    std::int32_t capacity;
    std::u16string before;
    void (*op)(CDynWString&);
    std::u16string after;
    std::int32_t expectedCapacity;
};

using pyrrow::test::PrintTo;

class DynWStringGrowth : public testing::TestWithParam<GrowthCase> {};

TEST_P(DynWStringGrowth, GrowsExactlyByTheRule)
{
    const GrowthCase& c = GetParam();
    CDynWString s;
    Prepare(s, c.capacity, c.before);
    c.op(s);
    EXPECT_EQ(Text(s), c.after);
    EXPECT_EQ(s.GetLength(), static_cast<std::int32_t>(c.after.size()));
    EXPECT_EQ(s.GetCapacity(), c.expectedCapacity);
}

const std::u16string k16(16, u'a');
const std::u16string k20(20, u'b');
const std::u16string k29(29, u'c');
const std::u16string k30(30, u'c');

INSTANTIATE_TEST_SUITE_P(
    Table, DynWStringGrowth,
    testing::Values(
        GrowthCase{"Append36In32", 32, k16, [](CDynWString& s) { s.Append(k20.c_str()); }, k16 + k20, 72},
        GrowthCase{"Append31In32Fits", 32, k16, [](CDynWString& s) { s.Append(u"123456789012345"); },
                   k16 + u"123456789012345", 32},
        GrowthCase{"AppendNGrowsByN", 32, k16, [](CDynWString& s) { s.AppendN(k20.c_str(), 16); },
                   k16 + k20.substr(0, 16), 64},
        GrowthCase{"AppendChar30In32", 32, k30, [](CDynWString& s) { s.AppendChar(u'z'); }, k30 + u"z", 64},
        GrowthCase{"AppendChar29In32Fits", 32, k29, [](CDynWString& s) { s.AppendChar(u'z'); }, k29 + u"z", 32},
        GrowthCase{"ReplaceGrowsByReplacementLength", 32, k30,
                   [](CDynWString& s) { s.Replace(u"c", u"XYZ", 29); }, k29 + u"XYZ", 66},
        GrowthCase{"ReplaceShrinkingNeverGrows", 32, u"a&quot;b",
                   [](CDynWString& s) { s.Replace(u"&quot;", u"\"", 0); }, u"a\"b", 32}),
    [](const testing::TestParamInfo<GrowthCase>& p) { return p.param.name; });

TEST(DynWString, AppendWithoutBufferActsAsSet)
{
    CDynWString s;
    EXPECT_EQ(s.Append(u"COM1"), 1);
    EXPECT_EQ(s.GetCapacity(), 32);
    CDynWString n;
    EXPECT_EQ(n.AppendN(u"COM1", 2), 1);
    EXPECT_EQ(Text(n), u"CO");
    EXPECT_EQ(n.GetCapacity(), 16);
    CDynWString c;
    EXPECT_EQ(c.AppendChar(u'x'), 1);
    EXPECT_EQ(Text(c), u"x");
    EXPECT_EQ(c.GetCapacity(), 32);
}

TEST(DynWString, ArgumentErrorsChangeNothing)
{
    CDynWString s;
    s.Set(u"keep");
    EXPECT_EQ(s.Append(nullptr), 0);
    EXPECT_EQ(s.AppendN(nullptr, 1), 0);
    EXPECT_EQ(s.AppendN(u"ab", -1), 0);
    EXPECT_EQ(s.AppendN(u"ab", 3), 0);  // shorter than n
    EXPECT_EQ(s.SetN(nullptr, 1), 0);
    EXPECT_EQ(s.SetN(u"ab", -1), 0);
    EXPECT_EQ(s.SetN(u"ab", 3), 0);
    EXPECT_EQ(s.Format(nullptr), 0);
    EXPECT_EQ(Text(s), u"keep");
    EXPECT_EQ(s.SetN(u"abcdef", 3), 1);
    EXPECT_EQ(Text(s), u"abc");
}

TEST(DynWString, SourcesInsideTheStringItselfAreSafe)
{
    CDynWString s;
    s.Set(u"0123456789");
    EXPECT_EQ(s.Set(s.GetString() + 4), 1);
    EXPECT_EQ(Text(s), u"456789");
    EXPECT_EQ(s.SetN(s.GetString() + 1, 2), 1);
    EXPECT_EQ(Text(s), u"56");
    // Doubling in place and doubling through growth.
    EXPECT_EQ(s.Append(s.GetString()), 1);
    EXPECT_EQ(Text(s), u"5656");
    const std::u16string k(20, u'q');
    s.Set(k.c_str());  // still capacity 32
    EXPECT_EQ(s.Append(s.GetString()), 1);
    EXPECT_EQ(Text(s), k + k);
    EXPECT_EQ(s.GetCapacity(), 80);
    // Formatting the own text, once within the capacity and once beyond it.
    EXPECT_EQ(s.Format(u"<%s>", s.GetString()), 1);
    EXPECT_EQ(Text(s), u"<" + k + k + u">");
    EXPECT_EQ(s.Format(u"%s%s", s.GetString(), s.GetString()), 1);
    EXPECT_EQ(Text(s), u"<" + k + k + u"><" + k + k + u">");
}

struct ReplaceCase {
    const char* name;
    std::u16string text;
    const char16_t* pattern;
    const char16_t* replacement;
    std::int32_t start;
    int result;
    std::u16string after;
};

class DynWStringReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(DynWStringReplace, GivesResultAndText)
{
    const ReplaceCase& c = GetParam();
    CDynWString s;
    s.Set(c.text.c_str());
    EXPECT_EQ(s.Replace(c.pattern, c.replacement, c.start), c.result);
    EXPECT_EQ(Text(s), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DynWStringReplace,
    testing::Values(
        ReplaceCase{"EscapesAtIndex", u"a&b&c", u"&", u"&amp;", 3, 1, u"a&b&amp;c"},
        ReplaceCase{"DoesNotLookBeforeStart", u"a&b", u"&", u"&amp;", 2, 0, u"a&b"},
        ReplaceCase{"FirstOccurrenceOnly", u"&quot;&quot;", u"&quot;", u"\"", 0, 1, u"\"&quot;"},
        ReplaceCase{"EmptyText", u"", u"a", u"b", 0, -2, u""},
        ReplaceCase{"StartAtLength", u"abc", u"c", u"d", 3, -2, u"abc"},
        ReplaceCase{"NegativeStart", u"abc", u"a", u"d", -1, -2, u"abc"},
        ReplaceCase{"NullPattern", u"abc", nullptr, u"d", 0, -1, u"abc"},
        ReplaceCase{"NullReplacement", u"abc", u"a", nullptr, 0, -1, u"abc"},
        ReplaceCase{"EmptyPatternInsertsAtStart", u"abc", u"", u"X", 1, 1, u"aXbc"},
        ReplaceCase{"EmptyReplacementDeletes", u"abc", u"b", u"", 0, 1, u"ac"},
        ReplaceCase{"MatchAtEnd", u"abc", u"bc", u"Z", 0, 1, u"aZ"}),
    [](const testing::TestParamInfo<ReplaceCase>& p) { return p.param.name; });

TEST(DynWString, ReplaceRepeatedUntilNothingLeft)
{
    CDynWString s;
    s.Set(u"&quot;a&quot;&quot;");
    int rounds = 0;
    while (s.Replace(u"&quot;", u"\"", 0) == 1)
        ++rounds;
    EXPECT_EQ(rounds, 3);
    EXPECT_EQ(Text(s), u"\"a\"\"");
}

TEST(DynWString, ReplaceWithoutBuffer)
{
    CDynWString s;
    EXPECT_EQ(s.Replace(u"a", u"b", 0), -1);
}

TEST(DynWString, Trimming)
{
    CDynWString s;
    EXPECT_EQ(s.TrimLeft(), 0);
    EXPECT_EQ(s.TrimRight(), 0);
    s.Set(u"a \t\r\n");
    EXPECT_EQ(s.TrimRight(), 1);
    EXPECT_EQ(Text(s), u"a");
    s.Set(u"  a b");
    EXPECT_EQ(s.TrimLeft(), 1);
    EXPECT_EQ(Text(s), u"a b");
    s.Set(u" \u00A0\u3000 ");
    EXPECT_EQ(s.TrimLeft(), 1);
    EXPECT_EQ(Text(s), u"");
    EXPECT_EQ(s.GetLength(), 0);
}

TEST(DynWString, FormatReplacesTheText)
{
    CDynWString s;
    s.Set(u"old text");
    EXPECT_EQ(s.Format(u"<%s %d %u %%>", u"tag", -5, 4294967295u), 1);
    EXPECT_EQ(Text(s), u"<tag -5 4294967295 %>");
    EXPECT_EQ(s.GetCapacity(), 32);
}

TEST(DynWString, FormatWithoutBufferSizesFromTheFormat)
{
    CDynWString s;
    EXPECT_EQ(s.Format(u"%d", 7), 1);
    EXPECT_EQ(s.GetCapacity(), 32);  // Alloc(16)
    CDynWString t;
    const std::u16string fmt = u"0123456789%s";
    EXPECT_EQ(t.Format(fmt.c_str(), u"x"), 1);
    EXPECT_EQ(t.GetCapacity(), 48);  // Alloc(2 x 12)
}

TEST(DynWString, FormatGrowsToFourTimesPlusTwoAndRepeats)
{
    CDynWString s;
    s.Alloc(0);  // capacity 16
    const std::u16string forty(40, u'x');
    EXPECT_EQ(s.Format(u"%s", forty.c_str()), 1);
    EXPECT_EQ(s.GetCapacity(), 66);
    EXPECT_EQ(Text(s), forty);

    CDynWString t;
    t.Alloc(0);
    const std::u16string hundred(100, u'y');
    EXPECT_EQ(t.Format(u"%s", hundred.c_str()), 1);
    EXPECT_EQ(t.GetCapacity(), 266);  // 16 -> 66 -> 266
    EXPECT_EQ(Text(t), hundred);

    // Output of exactly capacity - 1 characters fits; capacity characters do not.
    CDynWString u;
    u.Alloc(0);
    EXPECT_EQ(u.Format(u"%s", std::u16string(15, u'a').c_str()), 1);
    EXPECT_EQ(u.GetCapacity(), 16);
    EXPECT_EQ(u.Format(u"%s", std::u16string(16, u'a').c_str()), 1);
    EXPECT_EQ(u.GetCapacity(), 66);
}

struct CompareCase {
    const char16_t* mine;  // null: no buffer
    const char16_t* other;
    int result;
};

TEST(DynWString, CompareTable)
{
    const CompareCase cases[] = {
        {nullptr, nullptr, 0}, {nullptr, u"", -1},   {nullptr, u"a", -1}, {u"", nullptr, -1},
        {u"a", nullptr, -1},   {u"", u"", 0},        {u"", u"a", -1},     {u"a", u"", 1},
        {u"abc", u"abc", 0},   {u"abc", u"abd", -1}, {u"abd", u"abc", 1}, {u"ab", u"abc", -1},
        {u"B", u"a", -1},      // case-sensitive, by code unit
        {u"\uFFFF", u"a", 1},  // code units compare unsigned
    };
    for (const CompareCase& c : cases) {
        CDynWString s;
        if (c.mine != nullptr)
            s.Set(c.mine);
        EXPECT_EQ(s.Compare(c.other), c.result)
            << (c.mine ? "text" : "no buffer") << " vs " << (c.other ? "text" : "null");
    }
}

TEST(DynWString, ReleaseBufferRecountsAfterDirectWrites)
{
    CDynWString s;
    s.Alloc(8);
    char16_t* p = s.GetBuffer();
    p[0] = u'h';
    p[1] = u'i';
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 2);
    EXPECT_EQ(s.AppendChar(u'!'), 1);
    EXPECT_EQ(Text(s), u"hi!");
}

TEST(DynWString, CapacityBeyondThirtyTwoBitsFailsCleanly)
{
    CDynWString s;
    s.Set(u"keep");
    EXPECT_EQ(s.Alloc(INT32_MAX), 0);
    EXPECT_EQ(s.GetString(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 0);
}

}  // namespace
