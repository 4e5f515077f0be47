// A save that the program's end interrupts leaves the old file as it was,
// and the next save removes the new file it left: the child process begins
// to replace the file and is ended before the new content is complete.
#include <windows.h>

#include <filesystem>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "support/temp_dir.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;

long FilesIn(const fs::path& dir)
{
    return static_cast<long>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(InterruptedSave, LeavesTheOldFileAndNothingBeside)
{
    pyrrow::test::TempDir dir;
    const fs::path file = dir.path() / "pyrrow.config";
    const std::string previous = pyrrow::test::Utf16LeBytes(u"\uFEFF<previous />\r\n");
    pyrrow::test::WriteBytes(file, previous);
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);

    pyrrow::test::ChildProcess child(self, {L"--hold-save", file.wstring()});
    ASSERT_TRUE(child.Started());
    ASSERT_EQ(child.ReadLine(), "holding") << child.Errors();
    EXPECT_EQ(FilesIn(dir.path()), 2) << "the new file is beside the old one while the save runs";
    EXPECT_EQ(child.Wait(std::chrono::milliseconds(0)), -1);  // ended, as a killed program is

    EXPECT_EQ(pyrrow::test::ReadBytes(file), previous);
    // The next save removes what the ended one left.
    {
        CMyXMLFile doc;
        doc.m_root.SetName(u"a");
        EXPECT_EQ(doc.Save(file.u16string().c_str()), 1);
    }
    EXPECT_EQ(FilesIn(dir.path()), 1) << "a new file was left beside the settings file";
}

}  // namespace
