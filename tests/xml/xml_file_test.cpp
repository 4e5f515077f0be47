#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/notice_capture.h"
#include "support/small_stack.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pyrrow::test;

std::u16string Content(const CMyXMLFile& doc)
{
    return doc.m_strContent.GetString() != nullptr ? doc.m_strContent.GetString() : u"<null>";
}

TEST(XmlFileLoad, MissingFileIsCreatedEmptyAndFails)
{
    TempDir dir;
    CMyXMLFile doc;
    EXPECT_EQ(doc.Load(dir.File("pyrrow.config").c_str()), 0);
    ASSERT_TRUE(fs::exists(dir.path() / "pyrrow.config"));
    EXPECT_EQ(fs::file_size(dir.path() / "pyrrow.config"), 0u);
    EXPECT_EQ(doc.m_strFileName.GetLength(), 0);
    EXPECT_EQ(doc.Parse(), 0);
    EXPECT_EQ(doc.m_root.GetName(), nullptr);
}

TEST(XmlFileLoad, NullPathChangesNothing)
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"kept");
    doc.Navigate(XN_ROOT);
    EXPECT_EQ(doc.Load(nullptr), 0);
    EXPECT_EQ(doc.m_pCurrent, &doc.m_root);
    EXPECT_EQ(std::u16string(doc.m_root.GetName()), u"kept");
}

TEST(XmlFileLoad, TakesBytesAsTheyAre)
{
    TempDir dir;
    const fs::path file = dir.path() / "a.xml";
    CMyXMLFile doc;

    WriteBytes(file, Utf16LeBytes(u"\uFEFF<r/>") + "Z");  // odd last byte
    EXPECT_EQ(doc.Load(dir.File("a.xml").c_str()), 1);
    EXPECT_EQ(Content(doc), u"\uFEFF<r/>");
    EXPECT_EQ(doc.m_nFileSize, 0u);  // closed again
    EXPECT_EQ(std::u16string(doc.m_strFileName.GetString()), dir.File("a.xml"));
    EXPECT_EQ(doc.Parse(), 1);

    WriteBytes(file, "<r/>");  // 8-bit text reads as two meaningless characters
    EXPECT_EQ(doc.Load(dir.File("a.xml").c_str()), 1);
    EXPECT_EQ(doc.m_strContent.GetLength(), 2);
    EXPECT_NE(doc.Parse(), 1);

    WriteBytes(file, "x");  // one byte: no character at all
    EXPECT_EQ(doc.Load(dir.File("a.xml").c_str()), 1);
    EXPECT_EQ(Content(doc), u"");
}

TEST(XmlFileLoad, EmptiesTreeAndCursorEvenWhenItFails)
{
    pyrrow::test::NoticeCapture quiet;
    TempDir dir;
    WriteBytes(dir.path() / "a.xml", Utf16LeBytes(u"<r><a/></r>"));
    CMyXMLFile doc;
    ASSERT_EQ(doc.Load(dir.File("a.xml").c_str()), 1);
    ASSERT_EQ(doc.Parse(), 1);
    doc.m_root.AddAttribute(u"x", u"1");
    doc.Navigate(XN_ROOT);
    EXPECT_EQ(doc.Load(dir.File("empty.xml").c_str()), 0);
    EXPECT_EQ(doc.m_pCurrent, nullptr);
    EXPECT_EQ(doc.m_root.GetName(), nullptr);
    EXPECT_EQ(doc.m_root.m_pChild, nullptr);
    EXPECT_EQ(doc.m_root.GetAttribute(u"x"), nullptr);
    EXPECT_EQ(doc.m_strFileName.GetLength(), 0);
}

TEST(XmlFileLoad, FileTooLargeForThirtyTwoBitCountsFailsWithoutAllocating)
{
    TempDir dir;
    for (const std::uintmax_t size : {std::uintmax_t{1} << 30, std::uintmax_t{5} << 30}) {  // sparse: no disk used
        {
            std::ofstream create(dir.path() / "huge.xml");
        }
        fs::resize_file(dir.path() / "huge.xml", size);
        CMyXMLFile doc;
        EXPECT_EQ(doc.Load(dir.File("huge.xml").c_str()), 0) << size;
        EXPECT_EQ(doc.m_strContent.GetString(), nullptr);
    }
}

TEST(XmlFileSave, NullPathOrMissingFolderFails)
{
    TempDir dir;
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    EXPECT_EQ(doc.Save(nullptr), 0);
    EXPECT_EQ(doc.Save(dir.File("no/such/folder.xml").c_str()), 0);
    EXPECT_FALSE(doc.m_hFile.IsOpen());
}


TEST(XmlFileSave, FileIsHeldUntilTheNextLoadSaveOrTheEnd)
{
    TempDir dir;
    const std::u16string path = dir.File("s.xml");
    auto doc = std::make_unique<CMyXMLFile>();
    doc->m_root.SetName(u"a");
    ASSERT_EQ(doc->Save(path.c_str()), 1);
    EXPECT_TRUE(doc->m_hFile.IsOpen());

    CMyXMLFile other;
    EXPECT_EQ(other.Load(path.c_str()), 0);
    // A second save replaces the file again (the first handle is closed first).
    EXPECT_EQ(doc->Save(path.c_str()), 1);
    EXPECT_EQ(other.Load(path.c_str()), 0);
    doc.reset();
    EXPECT_EQ(other.Load(path.c_str()), 1);
    EXPECT_EQ(other.Parse(), 1);
}

TEST(XmlFileNavigate, Directions)
{
    CMyXMLFile doc;
    EXPECT_EQ(doc.Navigate(XN_CHILD), 0);  // no cursor yet
    EXPECT_EQ(doc.Navigate(XN_ROOT), 1);
    EXPECT_EQ(doc.Navigate(XN_PARENT), 0);
    EXPECT_EQ(doc.m_pCurrent, &doc.m_root);
    CMyTag* child = doc.m_root.GetOrAddChild();
    CMyTag* next = child->GetOrAddNext();
    EXPECT_EQ(doc.Navigate(XN_RESERVED), 0);
    EXPECT_EQ(doc.Navigate(0x0011), 0);
    EXPECT_EQ(doc.Navigate(XN_CHILD), 1);
    EXPECT_EQ(doc.m_pCurrent, child);
    EXPECT_EQ(doc.Navigate(XN_NEXT), 1);
    EXPECT_EQ(doc.m_pCurrent, next);
    EXPECT_EQ(doc.Navigate(XN_NEXT), 0);
    EXPECT_EQ(doc.m_pCurrent, next);
    EXPECT_EQ(doc.Navigate(XN_PARENT), 1);
    EXPECT_EQ(doc.m_pCurrent, &doc.m_root);
}

TEST(XmlFileEdit, AddChildElement)
{
    pyrrow::test::NoticeCapture quiet;
    CMyXMLFile doc;
    EXPECT_EQ(doc.AddChildElement(u"a"), 0);  // no cursor
    doc.Navigate(XN_ROOT);
    EXPECT_EQ(doc.AddChildElement(nullptr), 0);
    EXPECT_EQ(doc.AddChildElement(u"Address"), 1);
    EXPECT_EQ(std::u16string(doc.m_pCurrent->GetName()), u"Address");
    doc.Navigate(XN_PARENT);
    EXPECT_EQ(doc.AddChildElement(u"Other"), 0);  // the first child has a name
    EXPECT_EQ(doc.m_pCurrent, &doc.m_root);

    // An unnamed first child is named and entered.
    CMyXMLFile d2;
    d2.m_root.GetOrAddChild();
    d2.Navigate(XN_ROOT);
    EXPECT_EQ(d2.AddChildElement(u"File"), 1);
    EXPECT_EQ(d2.m_pCurrent, d2.m_root.m_pChild);
    EXPECT_EQ(DumpTree(&d2.m_root), u"?(File)");
}

TEST(XmlFileEdit, FindOrAddSibling)
{
    pyrrow::test::NoticeCapture notices;
    CMyXMLFile doc;
    doc.m_root.SetName(u"DriverSetting");
    doc.Navigate(XN_ROOT);
    EXPECT_EQ(doc.FindOrAddSibling(u"x"), 0);  // the root has no siblings
    EXPECT_EQ(doc.m_pCurrent, &doc.m_root);

    doc.AddChildElement(u"Address");
    EXPECT_EQ(doc.FindOrAddSibling(u"File"), 1);
    EXPECT_EQ(doc.FindOrAddSibling(u"Communication"), 1);
    CMyTag* communication = doc.m_pCurrent;
    EXPECT_EQ(doc.FindOrAddSibling(u"Address"), 1);  // found before the cursor
    EXPECT_EQ(doc.m_pCurrent, doc.m_root.m_pChild);
    EXPECT_EQ(doc.FindOrAddSibling(u"file"), 1);  // no match: takes the element after the cursor
    EXPECT_EQ(std::u16string(doc.m_pCurrent->GetName()), u"File");
    ASSERT_EQ(notices.notices().size(), 1u);
    EXPECT_EQ(notices.notices()[0].caption, u"File");
    doc.m_pCurrent = communication;
    EXPECT_EQ(doc.FindOrAddSibling(u"Communication"), 1);  // the cursor's own element is a match too
    EXPECT_EQ(doc.m_pCurrent, communication);
    EXPECT_EQ(doc.FindOrAddSibling(nullptr), 0);
    EXPECT_EQ(DumpTree(&doc.m_root), u"DriverSetting(Address File Communication)");
}

TEST(XmlFileDepth, DeepTreeParsesSavesAndLoadsOnASmallStack)
{
    TempDir dir;
    const std::u16string path = dir.File("deep.xml");
    int parsed = 0;
    int saved = 0;
    int reparsed = 0;
    CMyTag* deepest = nullptr;
    pyrrow::test::OnSmallStack([&] {
        constexpr int kDepth = 3000;
        std::u16string text;
        for (int i = 0; i < kDepth; ++i)
            text += u"<a>";
        text += u"x";
        for (int i = 0; i < kDepth; ++i)
            text += u"</a>";
        CMyXMLFile doc;
        doc.m_strContent.Set(text.c_str());
        parsed = doc.Parse();
        saved = doc.Save(path.c_str());
        doc.Load(path.c_str());
        reparsed = doc.Parse();
        for (deepest = &doc.m_root; deepest->m_pChild != nullptr;)
            deepest = deepest->m_pChild;
        EXPECT_EQ(std::u16string(deepest->GetText()), u"x");
    });
    EXPECT_EQ(parsed, 1);
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(reparsed, 1);
}

}  // namespace
