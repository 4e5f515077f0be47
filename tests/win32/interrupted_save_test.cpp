// A save that the program's end interrupts leaves the old file as it was,
// and the next save removes the new file it left: the child process saves
// a large document and is ended as soon as its new file appears.
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

    const HANDLE change = ::FindFirstChangeNotificationW(dir.path().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_NE(change, INVALID_HANDLE_VALUE);
    pyrrow::test::ChildProcess child(self, {L"--save-large", file.wstring()});
    ASSERT_TRUE(child.Started());
    const DWORD appeared = ::WaitForSingleObject(change, 30000);
    EXPECT_EQ(child.Wait(std::chrono::milliseconds(0)), -1);  // ended, as a killed program is
    ::FindCloseChangeNotification(change);
    ASSERT_EQ(appeared, WAIT_OBJECT_0) << child.Errors();
    EXPECT_EQ(FilesIn(dir.path()), 2) << "the new file is left beside the old one";

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
