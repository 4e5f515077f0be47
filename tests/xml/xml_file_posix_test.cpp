// How the XML document's files behave on POSIX systems: what is not a
// regular file, permissions, links, owners, a disk that fills up and a
// program that dies mid-save.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "support/named_row.h"
#include "support/notice_capture.h"
#include "support/small_stack.h"
#include "support/temp_dir.h"
#include "support/tree_dump.h"
#include "xml/xml_file.h"

namespace {

namespace fs = std::filesystem;
using namespace pyrrow::test;

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

// Everything in a folder, links not followed: each entry's mode, owner and
// content or link target.
std::map<std::string, std::string> Snapshot(const fs::path& dir)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        std::string what = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + " ";
        if (S_ISLNK(st.st_mode))
            what += fs::read_symlink(entry.path()).string();
        else if (S_ISREG(st.st_mode))
            what += ReadBytes(entry.path());
        entries[fs::relative(entry.path(), dir).string()] = what;
    }
    return entries;
}

int SaveTo(const fs::path& file, const std::u16string& text = u"")
{
    CMyXMLFile doc;
    doc.m_root.SetName(u"r");
    doc.m_root.SetTextN(text.c_str(), static_cast<std::int32_t>(text.size()));
    const int saved = doc.Save(file.u16string().c_str());
    if (saved == 0) {
        EXPECT_FALSE(doc.m_hFile.IsOpen());
    }
    return saved;
}

int LoadFrom(const fs::path& file)
{
    CMyXMLFile doc;
    return doc.Load(file.u16string().c_str());
}

void Link(const fs::path& link, const fs::path& target, uid_t owner = ::geteuid())
{
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), owner, static_cast<gid_t>(-1)), 0);
}

constexpr uid_t kOtherUser = 65534;

struct FileFailure {
    const char* name;
    std::function<void(const fs::path&)> setup;
    std::function<int(const fs::path&)> action;
    std::string line;  // what standard error gets; {D} stands for the folder, {U} for this user
};

using pyrrow::test::PrintTo;

class FileFailureTable : public testing::TestWithParam<FileFailure> {};

// A failing file operation changes nothing in the folder and tells why.
TEST_P(FileFailureTable, ChangesNothingAndTellsTheCause)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving files to another user needs the superuser";
    TempDir dir;
    const fs::path d = dir.path();
    GetParam().setup(d);
    const auto before = Snapshot(d);
    testing::internal::CaptureStderr();
    EXPECT_EQ(GetParam().action(d), 0);
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Snapshot(d), before);
    std::string line = GetParam().line;
    for (std::size_t at; (at = line.find("{D}")) != std::string::npos;)
        line.replace(at, 3, d.string());
    for (std::size_t at; (at = line.find("{U}")) != std::string::npos;)
        line.replace(at, 3, std::to_string(::geteuid()));
    EXPECT_EQ(told, line + "\n");
}

const auto kOldFile = [](const fs::path& d) { WriteBytes(d / "s.xml", Utf16LeBytes(u"\uFEFF<previous />\r\n")); };

INSTANTIATE_TEST_SUITE_P(
    Cases, FileFailureTable,
    testing::Values(
        FileFailure{"ReadOnlyFile",
                    [](const fs::path& d) {
                        kOldFile(d);
                        fs::permissions(d / "s.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
                    },
                    [](const fs::path& d) { return SaveTo(d / "s.xml"); },
                    "file: save {D}/s.xml: the file is read-only; it is kept as it is"},
        FileFailure{"LinkOfAnotherUser",
                    [](const fs::path& d) {
                        WriteBytes(d / "t.xml", "mine");
                        Link(d / "s.xml", d / "t.xml", kOtherUser);
                    },
                    [](const fs::path& d) { return SaveTo(d / "s.xml"); },
                    "file: save {D}/s.xml: the symbolic link {D}/s.xml belongs to user 65534, not to this user {U}; "
                    "it is not followed"},
        FileFailure{"LinkToAFileOfAnotherUser",
                    [](const fs::path& d) {
                        WriteBytes(d / "t.xml", "theirs");
                        ASSERT_EQ(::chown((d / "t.xml").c_str(), kOtherUser, static_cast<gid_t>(-1)), 0);
                        Link(d / "s.xml", d / "t.xml");
                    },
                    [](const fs::path& d) { return SaveTo(d / "s.xml"); },
                    "file: save {D}/s.xml: the symbolic link leads to {D}/t.xml, which belongs to user 65534, not to "
                    "this user {U}"},
        FileFailure{"LinkThroughALinkOfAnotherUser",
                    [](const fs::path& d) {
                        WriteBytes(d / "t.xml", "mine");
                        Link(d / "mid", "t.xml", kOtherUser);
                        Link(d / "s.xml", "mid");
                    },
                    [](const fs::path& d) { return SaveTo(d / "s.xml"); },
                    "file: save {D}/s.xml: the symbolic link {D}/mid belongs to user 65534, not to this user {U}; it "
                    "is not followed"},
        FileFailure{"LinkThatLeadsNowhere", [](const fs::path& d) { Link(d / "s.xml", d / "none.xml"); },
                    [](const fs::path& d) { return SaveTo(d / "s.xml"); },
                    "file: save {D}/s.xml: the symbolic link leads to {D}/none.xml, which does not exist"},
        FileFailure{"MissingFolder", [](const fs::path&) {}, [](const fs::path& d) { return SaveTo(d / "no" / "s.xml"); },
                    "file: save {D}/no/s.xml: cannot create a new file in {D}/no: No such file or directory"},
        FileFailure{"DiskFull", kOldFile,
                    [](const fs::path& d) {
                        FileSizeLimit limit(4096);
                        return SaveTo(d / "s.xml", std::u16string(100000, u'x'));
                    },
                    "file: write {D}/s.xml: File too large"},
        FileFailure{"LoadWhileAnotherProgramHoldsTheFile", kOldFile,
                    [](const fs::path& d) {
                        const int holder = ::open((d / "s.xml").c_str(), O_RDONLY);
                        ::flock(holder, LOCK_EX);
                        const int loaded = LoadFrom(d / "s.xml");
                        ::close(holder);
                        return loaded;
                    },
                    "file: open {D}/s.xml: held by another program"},
        FileFailure{"LoadThroughALinkThatLeadsNowhere",
                    [](const fs::path& d) { Link(d / "s.xml", d / "none.xml"); },
                    [](const fs::path& d) { return LoadFrom(d / "s.xml"); },
                    "file: create {D}/s.xml: a symbolic link that leads nowhere is in its place"},
        FileFailure{"LoadAFolder", [](const fs::path& d) { fs::create_directory(d / "sub"); },
                    [](const fs::path& d) { return LoadFrom(d / "sub"); }, "file: open {D}/sub: Is a directory"}),
    [](const testing::TestParamInfo<FileFailure>& p) { return p.param.name; });

TEST(XmlFileSave, NothingIsLeftBesideWhenTheProgramDiesMidSave)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    WriteBytes(file, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The system ends the program at the write that passes the limit.
        const struct rlimit limit {100000, 100000};
        const struct rlimit noCore {0, 0};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::signal(SIGXFSZ, SIG_DFL);
        CMyXMLFile doc;
        doc.m_root.SetName(u"r");
        const std::u16string text(200000, u'x');
        doc.m_root.SetTextN(text.c_str(), static_cast<std::int32_t>(text.size()));
        doc.Save(file.u16string().c_str());
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(ReadBytes(file), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // Ended at the rename, a save leaves its complete new file under its
    // temporary name; the next save removes it, but not the new file of a
    // save that still runs (it holds it locked) nor a file of another name.
    WriteBytes(dir.path() / "s.xml.new-123456789", "left");
    WriteBytes(dir.path() / "s.xml.new-42", "being written");
    WriteBytes(dir.path() / "s.xml.new-notes", "mine");
    const int running = ::open((dir.path() / "s.xml.new-42").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);
    EXPECT_EQ(SaveTo(file), 1);
    ::close(running);
    EXPECT_FALSE(fs::exists(dir.path() / "s.xml.new-123456789"));
    EXPECT_TRUE(fs::exists(dir.path() / "s.xml.new-42"));
    EXPECT_TRUE(fs::exists(dir.path() / "s.xml.new-notes"));
}

// Two first starts at the same moment: the other program makes the file
// just after this one looked and found none. A tracer makes that moment
// come: it makes the file as soon as an open in the traced load has failed
// for want of it. The load must open that file, not take it for a
// symbolic link that leads nowhere.
TEST(XmlFileLoad, FileMadeMeanwhileByAnotherProgramIsOpened)
{
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::raise(SIGSTOP);
        pyrrow::platform::NamedFile f;
        ::_exit(f.Open(file.string(), pyrrow::platform::NamedFile::Access::Shared, nullptr) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL), 0);
    int signal = 0;
    bool opening = false;
    for (;;) {
        ASSERT_EQ(::ptrace(PTRACE_SYSCALL, child, nullptr, signal), 0);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (WIFEXITED(status) || WIFSIGNALED(status))
            break;
        signal = WSTOPSIG(status) == (SIGTRAP | 0x80) ? 0 : WSTOPSIG(status);
        __ptrace_syscall_info info{};
        if (signal != 0 || ::ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof info, &info) <= 0)
            continue;
        if (info.op == PTRACE_SYSCALL_INFO_ENTRY)
            opening = info.entry.nr == SYS_openat || info.entry.nr == SYS_open;
        else if (info.op == PTRACE_SYSCALL_INFO_EXIT && opening && info.exit.rval == -ENOENT && !fs::exists(file))
            WriteBytes(file, "");
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the file was not opened";
}

// Runs as another user for as long as it lives.
class AsOtherUser {
public:
    AsOtherUser() { m_switched = ::setegid(kOtherUser) == 0 && ::seteuid(kOtherUser) == 0; }
    ~AsOtherUser()
    {
        if (::seteuid(0) != 0 || ::setegid(0) != 0)
            std::abort();  // the rest of the tests would run as the wrong user
    }
    AsOtherUser(const AsOtherUser&) = delete;
    AsOtherUser& operator=(const AsOtherUser&) = delete;
    bool switched() const { return m_switched; }

private:
    bool m_switched = false;
};

TEST(XmlFileSave, FileThatMayBeWrittenInAFolderThatMayNotIsRewrittenInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs the superuser";
    TempDir dir;
    const fs::path file = dir.path() / "s.xml";
    WriteBytes(file, std::string(1000, 'o'));
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    struct stat before {};
    ::stat(file.c_str(), &before);
    {
        AsOtherUser other;
        ASSERT_TRUE(other.switched());
        EXPECT_FALSE(pyrrow::platform::CanWrite(dir.path().string()));
        EXPECT_TRUE(pyrrow::platform::CanWrite(file.string()));
        EXPECT_EQ(SaveTo(file), 1);
    }
    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(ReadBytes(file), Utf16LeBytes(u"\uFEFF<r />\r\n"));  // the longer old content is cut off
}

}  // namespace
