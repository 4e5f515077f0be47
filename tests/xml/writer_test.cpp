#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/notice_capture.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "xml/xml_file.h"

namespace {

using namespace pyrrow::test;

const std::filesystem::path kGolden = std::filesystem::path(PYRROW_TEST_DATA) / "xml";

CMyTag* Child(CMyTag* parent, const char16_t* name)
{
    CMyTag* last = parent->m_pChild;
    CMyTag* e = last == nullptr ? parent->GetOrAddChild() : nullptr;
    while (e == nullptr) {
        if (last->m_pNext == nullptr)
            e = last->GetOrAddNext();
        last = last->m_pNext;
    }
    e->SetName(name);
    return e;
}

void SetText(CMyTag* e, const std::u16string& text)
{
    e->SetTextN(text.c_str(), static_cast<std::int32_t>(text.size()));
}

// Saves doc and compares the file with the golden file byte for byte.
void ExpectWrittenAs(CMyXMLFile& doc, const char* golden)
{
    TempDir dir;
    ASSERT_EQ(doc.Save(dir.File("out.xml").c_str()), 1);
    EXPECT_EQ(ReadBytes(dir.path() / "out.xml"), ReadBytes(kGolden / golden)) << golden;
}

TEST(Writer, EmptyElement)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    ExpectWrittenAs(doc, "empty_element.xml");
}

TEST(Writer, EscapesOnlyAmpersandAndQuoteInValues)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    doc.m_root.AddAttribute(u"x", u"a&\"b");
    doc.m_root.AddAttribute(u"y", u"<\t>\r\n");
    ExpectWrittenAs(doc, "escaped_attributes.xml");
}

TEST(Writer, TextIsTrimmedInMemoryAndWrittenOnOneLine)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    CMyTag* t = Child(&doc.m_root, u"t");
    SetText(t, u" \t hello world \r\n");
    ExpectWrittenAs(doc, "text.xml");
    EXPECT_EQ(std::u16string(t->GetText()), u"hello world");
}

TEST(Writer, CdataSections)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    SetText(Child(&doc.m_root, u"amp"), u"a & b");  // plain text with "&"
    CMyTag* marked = Child(&doc.m_root, u"marked");
    SetText(marked, u"plain");
    marked->m_bCData = 1;
    SetText(Child(&doc.m_root, u"inner"), u"x]]>y");
    Child(&doc.m_root, u"nothing")->m_bCData = 1;
    ExpectWrittenAs(doc, "cdata.xml");
}

TEST(Writer, TextFollowedByChildren)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    SetText(&doc.m_root, u"top");
    Child(&doc.m_root, u"c");
    ExpectWrittenAs(doc, "text_and_children.xml");
}

TEST(Writer, WhiteSpaceOnlyTextMakesAnEmptyElement)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    SetText(&doc.m_root, u" \r\n\t ");
    ExpectWrittenAs(doc, "empty_element.xml");
}

TEST(Writer, SecondTopLevelElementAtDepthZero)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    Child(&doc.m_root, u"a");
    CMyTag* s = doc.m_root.GetOrAddNext();
    s->SetName(u"s");
    s->AddAttribute(u"k", u"v");
    ExpectWrittenAs(doc, "two_top_level.xml");
}

TEST(Writer, MoreThanFiveAttributesInOrder)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    const char16_t* names[] = {u"a", u"b", u"c", u"d", u"e", u"f", u"g"};
    const char16_t* values[] = {u"1", u"2", u"3", u"4", u"5", u"6", u"7"};
    for (int i = 0; i < 7; ++i)
        doc.m_root.AddAttribute(names[i], values[i]);
    ExpectWrittenAs(doc, "many_attributes.xml");
}

TEST(Writer, UnnamedElementIsLeftOutWithItsChildren)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    CMyTag* unnamed = doc.m_root.GetOrAddChild();
    unnamed->GetOrAddChild()->SetName(u"lost");
    unnamed->GetOrAddNext()->SetName(u"a");
    TempDir dir;
    ASSERT_EQ(doc.Save(dir.File("out.xml").c_str()), 1);
    EXPECT_EQ(ReadBytes(dir.path() / "out.xml"),
              pyrrow::test::Utf16LeBytes(u"\uFEFF<r>\r\n\t<a />\r\n</r>\r\n"));
}

// Every golden file except the one with "]]>" inside a CDATA section reads
// back into a tree that is written out again byte for byte.
class GoldenRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRoundTrip, ParseThenSaveGivesTheSameBytes)
{
    pyrrow::test::NoticeCapture quiet;
    TempDir dir;
    std::filesystem::copy_file(kGolden / GetParam(), dir.path() / "in.xml");
    CMyXMLFile doc;
    ASSERT_EQ(doc.Load(dir.File("in.xml").c_str()), 1);
    ASSERT_EQ(doc.Parse(), 1);
    ASSERT_EQ(doc.Save(dir.File("out.xml").c_str()), 1);
    EXPECT_EQ(ReadBytes(dir.path() / "out.xml"), ReadBytes(kGolden / GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenRoundTrip,
                         testing::Values("empty_element.xml", "escaped_attributes.xml", "text.xml",
                                         "text_and_children.xml", "two_top_level.xml",
                                         "many_attributes.xml", "settings.xml"));

TEST(Writer, RoundTripOfABuiltTree)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"DriverSetting");
    CMyTag* a = Child(&doc.m_root, u"Address");
    a->AddAttribute(u"pc", u"-1");
    a->AddAttribute(u"path", u"C:\\fw\\Jednotka \u010D. 7.fw");
    SetText(Child(&doc.m_root, u"Note"), u"  first\r\n   second  ");
    CMyTag* c = Child(&doc.m_root, u"Code");
    SetText(c, u"if (a < b && c > d)");
    CMyTag* deep = Child(Child(Child(&doc.m_root, u"x"), u"y"), u"z");
    deep->AddAttribute(u"q", u"\"quoted\" & <angled>");

    TempDir dir;
    ASSERT_EQ(doc.Save(dir.File("s.xml").c_str()), 1);
    // Loading again closes the file the save still holds.
    CMyXMLFile& back = doc;
    ASSERT_EQ(back.Load(dir.File("s.xml").c_str()), 1);
    ASSERT_EQ(back.Parse(), 1);
    // Texts come back trimmed and with inner white space folded; CDATA is
    // marked on the way back.
    EXPECT_EQ(DumpTree(&back.m_root),
              u"DriverSetting(Address[pc=-1,path=C:\\fw\\Jednotka \u010D. 7.fw] Note\"first second\" "
              u"Code!\"if (a < b && c > d)\" x(y(z[q=\"quoted\" & <angled>])))");
}

// What a text is after writing and reading back: trimmed, and outside a
// CDATA section with every inner run of white space folded to one space.
std::u16string TextAsRead(const std::u16string& text)
{
    const auto space = [](char16_t c) { return c == u' ' || c == u'\t'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && space(text[begin]))
        ++begin;
    while (end > begin && space(text[end - 1]))
        --end;
    const std::u16string trimmed = text.substr(begin, end - begin);
    if (trimmed.find_first_of(u"<>&") != std::u16string::npos)
        return trimmed;
    std::u16string folded;
    for (const char16_t c : trimmed)
        if (!space(c))
            folded += c;
        else if (!space(folded.back()))
            folded += u' ';
    return folded;
}

// Every string of up to four characters over those that matter to the
// format, each the text and an attribute value of an element of its own,
// reads back as it was written. Only a text holding "]]>" cannot: it would
// end its CDATA section early.
TEST(Writer, EveryShortValueReadsBackEqual)
{
    const std::u16string alphabet = u"a]<>&\"' \t";
    std::vector<std::u16string> values{u""};
    for (std::size_t from = 0; values.back().size() < 4;) {
        const std::size_t to = values.size();
        for (std::size_t i = from; i < to; ++i)
            for (const char16_t c : alphabet)
                values.push_back(values[i] + c);
        from = to;
    }

    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    CMyTag* last = nullptr;
    for (const std::u16string& v : values) {
        last = last == nullptr ? doc.m_root.GetOrAddChild() : last->GetOrAddNext();
        last->SetName(u"e");
        last->AddAttribute(u"v", v.c_str());
        if (v.find(u"]]>") == std::u16string::npos)
            SetText(last, v);
    }
    TempDir dir;
    ASSERT_EQ(doc.Save(dir.File("s.xml").c_str()), 1);
    ASSERT_EQ(doc.Load(dir.File("s.xml").c_str()), 1);
    ASSERT_EQ(doc.Parse(), 1);

    const CMyTag* e = doc.m_root.m_pChild;
    for (const std::u16string& v : values) {
        ASSERT_NE(e, nullptr);
        const std::u16string text = v.find(u"]]>") == std::u16string::npos ? TextAsRead(v) : u"";
        ASSERT_EQ(e->GetText() != nullptr ? e->GetText() : u"", text) << "text of " << testing::PrintToString(v);
        ASSERT_EQ(e->GetAttribute(u"v") != nullptr ? e->GetAttribute(u"v") : u"<null>", v)
            << "attribute " << testing::PrintToString(v);
        e = e->m_pNext;
    }
    EXPECT_EQ(e, nullptr);
}

}  // namespace
