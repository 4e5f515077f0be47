// How the XML document's files behave on POSIX systems: what is not a
// regular file, permissions, links, and a disk that fills up.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;
using pyrrow::test::ReadBytes;
using pyrrow::test::TempDir;
using pyrrow::test::Utf16LeBytes;
using pyrrow::test::WriteBytes;

TEST(XmlFileLoad, RefusesWhatIsNotARegularFile)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
    CMyXMLFile doc;
    EXPECT_EQ(doc.Load(dir.File("fifo").c_str()), 0);  // must not wait for a writer
    EXPECT_EQ(doc.Load(dir.File("").c_str()), 0);      // the directory itself
    const char16_t lone[] = {u'/', 0xD800, 0};
    EXPECT_EQ(doc.Load(lone), 0);
}

TEST(XmlFileSave, ReplacesTheFileAndKeepsItsPermissions)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    WriteBytes(file, "old content");
    ::chmod(file.c_str(), 0640);
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    EXPECT_EQ(doc.Save(dir.File("s.xml").c_str()), 1);
    EXPECT_EQ(ReadBytes(file), Utf16LeBytes(u"\uFEFF<a />\r\n"));
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::u16string(doc.m_strFileName.GetString()), dir.File("s.xml"));
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(XmlFileSave, FileBehindALinkIsReplacedWhereItIs)
{
    TempDir dir;
    fs::create_directory(dir.path() / "shared");
    WriteBytes(dir.path() / "shared" / "s.xml", "old");
    fs::create_symlink(dir.path() / "shared" / "s.xml", dir.path() / "link.xml");
    CMyXMLFile doc;
    doc.m_root.SetName(u"a");
    EXPECT_EQ(doc.Save(dir.File("link.xml").c_str()), 1);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.xml"));
    EXPECT_EQ(ReadBytes(dir.path() / "shared" / "s.xml"), Utf16LeBytes(u"\uFEFF<a />\r\n"));
}

// Lowers the largest file this process may write, so that writes fail as on
// a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    sighandler_t m_previousHandler;
};

TEST(XmlFileSave, FailedWriteKeepsThePreviousFile)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    const std::string previous = Utf16LeBytes(u"\uFEFF<previous />\r\n");
    WriteBytes(file, previous);

    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    const std::u16string big(100000, u'x');
    doc.m_root.SetTextN(big.c_str(), static_cast<std::int32_t>(big.size()));
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(doc.Save(dir.File("s.xml").c_str()), 0);
    }
    EXPECT_EQ(ReadBytes(file), previous);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_EQ(doc.m_hFile, nullptr);
}

}  // namespace
