#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/named_row.h"
#include "support/notice_capture.h"
#include "support/tree_dump.h"
#include "xml/xml_file.h"

namespace {

using namespace pyrrow::test;

int ParseText(CMyXMLFile& doc, const std::u16string& text)
{
    doc.m_strContent.Set(text.c_str());
    return doc.Parse();
}

struct ParseCase {
    const char* name;
    std::u16string text;
    int result;
    std::u16string tree;  // the tree built up to the end or the error
};

using pyrrow::test::PrintTo;

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, ResultAndTree)
{
    const ParseCase& c = GetParam();
    NoticeCapture quiet;
    CMyXMLFile doc;
    EXPECT_EQ(ParseText(doc, c.text), c.result);
    EXPECT_EQ(DumpTree(&doc.m_root), c.tree);
}

INSTANTIATE_TEST_SUITE_P(
    Results, ParseTable,
    testing::Values(
        ParseCase{"EmptyContent", u"", 0, u"?"},
        ParseCase{"OnlyWhiteSpace", u" \r\n\t", 0, u"?"},
        ParseCase{"StartTagAloneIsComplete", u"<r>", 1, u"r"},
        ParseCase{"OpenInsideAnother", u"<r><a>", CMyXMLFile::kParseUnclosed, u"r(a)"},
        ParseCase{"StopsInsideATag", u"<r a='1", 1, u"r"},
        ParseCase{"NameNeverEnded", u"<r", 0, u"?"},
        ParseCase{"ByteOrderMarkAndControlsSkipped", u"\uFEFF\u0001 <r/>", 1, u"r"},
        ParseCase{"LetterBeforeRoot", u"x<r/>", -1, u"?"},
        ParseCase{"BadAfterLessThan", u"< r/>", -2, u"?"},
        ParseCase{"BadInAttributeName", u"<r a/>", -4, u"r"},
        ParseCase{"BadAfterAttributeName", u"<r a b='1'/>", -5, u"r"},
        ParseCase{"UnquotedValue", u"<r a=1/>", -6, u"r"},
        ParseCase{"BadAfterSlash", u"<r/x>", -40, u"r"},
        ParseCase{"BadEndTagStart", u"<r></ r>", -2, u"r"},
        ParseCase{"WrongEndTag", u"<r><a></r>", -102, u"r(a)"},
        ParseCase{"EndTagBeforeAnyElement", u"</r>", -102, u"?"},
        ParseCase{"BadAfterBang", u"<!x", -1001, u"?"},
        ParseCase{"LowerCaseDoctype", u"<!doctype r>", -1001, u"?"},
        ParseCase{"SingleDashComment", u"<!-x", -1011, u"?"},
        ParseCase{"CdataC", u"<r><![X", -1021, u"r"},
        ParseCase{"CdataD", u"<r><![CX", -1022, u"r"},
        ParseCase{"CdataA", u"<r><![CDX", -1023, u"r"},
        ParseCase{"CdataT", u"<r><![CDAX", -1024, u"r"},
        ParseCase{"CdataSecondAGivesMinus1026", u"<r><![CDATX", -1026, u"r"},
        ParseCase{"CdataBracket", u"<r><![CDATAX", -1026, u"r"},
        ParseCase{"DoctypeO", u"<!DX", -1041, u"?"},
        ParseCase{"DoctypeCGivesMinus1043", u"<!DOX", -1043, u"?"},
        ParseCase{"DoctypeTGivesMinus1044", u"<!DOCX", -1044, u"?"},
        ParseCase{"DoctypeYGivesMinus1045", u"<!DOCTX", -1045, u"?"},
        ParseCase{"DoctypeP", u"<!DOCTYX", -1045, u"?"},
        ParseCase{"DoctypeE", u"<!DOCTYPX", -1046, u"?"},
        ParseCase{"DoctypeTabInsteadOfSpace", u"<!DOCTYPE\tr>", -1047, u"?"},
        ParseCase{"DoctypeSkipped", u"<!DOCTYPE r [x]><r/>", 1, u"r"},
        ParseCase{"XmlDeclarationSkipped", u"<?xml version=\"1.0\"?><r/>", 1, u"r"},
        ParseCase{"QuestionMarksInInstruction", u"<?a?b?" u"?><r/>", 1, u"r"},
        ParseCase{"BracketInInstruction", u"<?a>?>", -2001, u"?"},
        ParseCase{"CdataBeforeFirstElement", u"<![CDATA[x]]><r/>", CMyXMLFile::kParseCDataOutsideElement, u"?"},
        ParseCase{"CommentNeedsTwoDashesRightBeforeBracket", u"<r><!--a--->b-->c</r>", 1, u"r\"c\""},
        ParseCase{"BracketsBeforeTheEndOfCdataAreContent", u"<r><![CDATA[a]]]]></r>", 1, u"r!\"a]]\""},
        ParseCase{"CdataEndsAtTheFirstEnd", u"<r><![CDATA[a]]>b]]></r>", 1, u"r!\"ab]]>\""},
        ParseCase{"WhiteSpaceFolded", u"<r>  x \r\n\t y  </r>", 1, u"r\"x y\""},
        ParseCase{"TextAfterEmptyTagGoesToIt", u"<r><a/>z</r>", 1, u"r(a\"z\")"},
        ParseCase{"TextAfterEndTagGoesToIt", u"<r><a></a> z</r>", 1, u"r(a\"z\")"},
        // Text that already ends with a space (from CDATA) gets no second one.
        ParseCase{"NoSecondSpaceAfterCdataEndingInOne", u"<r><![CDATA[a ]]> b</r>", 1, u"r!\"a b\""},
        // A space held back for one element's text is not given to the next.
        ParseCase{"HeldSpaceEndsWithItsElement", u"<r><a><b/>x </a>y</r>", 1, u"r(a\"y\"(b\"x\"))"},
        ParseCase{"CdataReplacesEarlierText",
                  u"<r>p<![CDATA[ <b> & ]]>q</r>", 1, u"r!\" <b> & q\""},
        ParseCase{"EmptyCdata", u"<r><![CDATA[]]></r>", 1, u"r!"},
        ParseCase{"RepeatedAttributeLastWins", u"<r x='1' x=\"2\"/>", 1, u"r[x=2]"},
        ParseCase{"EntitiesDecodedFromTheStartEachPass",
                  u"<r a='&amp;lt;' b='&amp;amp;' c='&quot;&apos;&gt;&lt;'/>", 1, u"r[a=&lt;,b=&,c=\"'><]"},
        ParseCase{"ValuesKeepEverythingElse", u"<r a='<\t\r\n>' b=\"it's\"/>", 1, u"r[a=<\t\r\n>,b=it's]"},
        ParseCase{"ContentEntitiesStay", u"<r>&lt;</r>", 1, u"r\"&lt;\""},
        ParseCase{"TextAfterRoot", u"<r/>x", 1, u"r\"x\""},
        ParseCase{"SecondTopLevelElement", u"<r/><s/>", 1, u"r s"},
        ParseCase{"EndTagWithSpaceAndJunk", u"<r></r x>", 1, u"r"},
        ParseCase{"JunkInNamesIsSkipped", u"<r#a></r#a>", 1, u"ra"},
        ParseCase{"NestedAndSiblings", u"<r><a><b/></a><c x='1'>t</c></r>", 1, u"r(a(b) c[x=1]\"t\")"},
        ParseCase{"SevenAttributes", u"<r a='1' b='2' c='3' d='4' e='5' f='6' g='7'/>", 1,
                  u"r[a=1,b=2,c=3,d=4,e=5,f=6,g=7]"}),
    [](const testing::TestParamInfo<ParseCase>& p) { return p.param.name; });

TEST(Parser, StrayEndTagAfterRootShowsTwoNotices)
{
    NoticeCapture notices;
    CMyXMLFile doc;
    doc.m_strFileName.Set(u"/tmp/pyrrow.config");
    EXPECT_EQ(ParseText(doc, u"<r></r></s>"), -102);
    EXPECT_EQ(notices.notices(),
              (std::vector<Notice>{{u"s", u"r"}, {u"/tmp/pyrrow.config", u"r"}}));
}

TEST(Parser, StrayEndTagNoticeShowsNamesCut)
{
    NoticeCapture notices;
    CMyXMLFile doc;
    doc.m_strFileName.Set(u"/tmp/pyrrow.config");
    const std::u16string root(65, u'r');
    EXPECT_EQ(ParseText(doc, u"<" + root + u"></" + root + u"></" + std::u16string(1'000'000, u's') + u">"), -102);
    const std::u16string caption = std::u16string(64, u'r') + u"\u2026";
    EXPECT_EQ(notices.notices(), (std::vector<Notice>{{std::u16string(64, u's') + u"\u2026", caption},
                                                      {u"/tmp/pyrrow.config", caption}}));
}

TEST(Parser, StrayEndTagEndedBySpaceShowsNothing)
{
    NoticeCapture notices;
    CMyXMLFile doc;
    EXPECT_EQ(ParseText(doc, u"<r></r></s >"), -102);
    EXPECT_TRUE(notices.notices().empty());
}

TEST(Parser, ParsingTwiceMergesAndKeepsTheFirstNames)
{
    NoticeCapture notices;
    CMyXMLFile doc;
    EXPECT_EQ(ParseText(doc, u"<r><a x='1'/></r>"), 1);
    EXPECT_EQ(ParseText(doc, u"<q><b y='2'/></q>"), -102);  // "</q>" does not match the kept name r
    EXPECT_EQ(notices.notices(), (std::vector<Notice>{{u"q", u"r"}, {u"b", u"a"}}));
    EXPECT_EQ(DumpTree(&doc.m_root), u"r(a[x=1,y=2])");
}

TEST(Parser, LongTextStaysLinear)
{
    // A text of 200,000 characters would take minutes if every appended
    // character recounted the text.
    std::u16string text = u"<r>";
    text.append(200000, u'x');
    text += u"</r>";
    CMyXMLFile doc;
    EXPECT_EQ(ParseText(doc, text), 1);
    EXPECT_EQ(doc.m_root.m_strText.GetLength(), 200000);
}

}  // namespace
