// How the XML document's files behave on Windows: what is not a file on a
// disk, and a replacement that cannot be moved into place. (Wine has no
// symbolic links; following one on save is for real Windows to show.)
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pyrrow::test;

TEST(XmlFileLoad, RefusesWhatIsNotAFileOnADisk)
{
    TempDir dir;
    fs::create_directory(dir.path() / "folder");
    CMyXMLFile doc;
    EXPECT_EQ(doc.Load(dir.File("folder").c_str()), 0);
    EXPECT_EQ(doc.Load(u"NUL"), 0);  // a device, however it is named
    EXPECT_EQ(doc.Load(u"\\\\.\\NUL"), 0);
    const char16_t lone[] = {u'a', 0xD800, 0};
    EXPECT_EQ(doc.Load(lone), 0);
}

TEST(XmlFileSave, ReplacesTheFileAndLeavesNothingBeside)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    WriteBytes(file, "old content");
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    EXPECT_EQ(doc.Save(dir.File("s.xml").c_str()), 1);
    EXPECT_EQ(ReadBytes(file), Utf16LeBytes(u"\uFEFF<a />\r\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(XmlFileSave, ReadOnlyFileStaysAsItWas)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    const std::string previous = Utf16LeBytes(u"\uFEFF<previous />\r\n");
    WriteBytes(file, previous);
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    EXPECT_EQ(doc.Save(dir.File("s.xml").c_str()), 0);
    EXPECT_EQ(ReadBytes(file), previous);
    EXPECT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);  // so that the folder can go
}

TEST(XmlFileSave, FileInUseStaysAsItWas)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    const std::string previous = Utf16LeBytes(u"\uFEFF<previous />\r\n");
    WriteBytes(file, previous);
    // Another program reads it and lets nobody replace it meanwhile.
    const HANDLE other = ::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    EXPECT_EQ(doc.Save(dir.File("s.xml").c_str()), 0);
    EXPECT_FALSE(doc.m_hFile.IsOpen());
    ::CloseHandle(other);
    EXPECT_EQ(ReadBytes(file), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
