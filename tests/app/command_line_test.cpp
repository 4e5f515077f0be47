#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/prikazovy_radek.h"
#include "app/pyrrow_app.h"
#include "app/pyrrow_dlg.h"
#include "platform/process/command_line.h"
#include "support/named_row.h"
#include "support/system_conventions.h"
#include "support/temp_dir.h"
#include "xml/wide_numbers.h"

namespace {

struct Fields {
    std::u16string port = u"";
    std::u16string speed = u"38400";
    std::u16string file = u"";
    std::u16string addr = u"1";
    std::u16string pc = u"0";
    std::uint8_t state = 0;
};

struct CommandLineCase {
    const char* name;
    std::vector<std::u16string> arguments;
    Fields expected;
};

using pyrrow::test::PrintTo;

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

using namespace pyrrow::test;
const bool kSlashMarks = pyrrow::test::SlashMarksOptions();

TEST_P(CommandLine, FillsTheRecord)
{
    const CommandLineCase& c = GetParam();
    CPrikazovyRadek record;
    ParseCommandLine(record, c.arguments);
    EXPECT_EQ(std::u16string(record.m_szPort), c.expected.port);
    EXPECT_EQ(std::u16string(record.m_szSpeed), c.expected.speed);
    EXPECT_EQ(std::u16string(record.m_szFile), c.expected.file);
    EXPECT_EQ(std::u16string(record.m_szAddr), c.expected.addr);
    EXPECT_EQ(std::u16string(record.m_szPc), c.expected.pc);
    EXPECT_EQ(record.m_nState, c.expected.state);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    testing::Values(
        CommandLineCase{"NoArguments", {}, {}},
        CommandLineCase{"PortAndSpeed", {u"-c", u"COM3", u"115200", u"8", u"0"}, {.port = u"COM3", .speed = u"115200"}},
        CommandLineCase{"WithoutDash", {u"c", u"COM3", u"115200", u"8", u"0"}, {.port = u"COM3", .speed = u"115200"}},
        CommandLineCase{"UpperCaseIsNoOption", {u"-C", u"COM3"}, {}},
        CommandLineCase{"CSwallowsF", {u"-c", u"COM3", u"-f", u"fw.fw"}, {.port = u"COM3", .speed = u"f", .state = 13}},
        CommandLineCase{"FileAndPort", {u"-f", AbsolutePath(u"home/me/fw.fw"), u"-c", u"ttyUSB0", u"9600", u"8", u"0"},
                        {.port = u"ttyUSB0", .speed = u"9600", .file = AbsolutePath(u"home/me/fw.fw")}},
        // A leading '/' is a path on Linux and marks an option on Windows.
        CommandLineCase{"SlashValue", {u"-f", u"/c"}, {.file = kSlashMarks ? u"c" : u"/c"}},
        CommandLineCase{"SlashOption", {u"/c", u"COM3", u"1", u"2", u"3"},
                        kSlashMarks ? Fields{.port = u"COM3", .speed = u"1"} : Fields{}},
        CommandLineCase{"QuotedPathWithBlanks", {u"-f", AbsolutePath(u"home/me/my fw/unit 7.fw")},
                        {.file = AbsolutePath(u"home/me/my fw/unit 7.fw")}},
        CommandLineCase{"LaterValueWins", {u"-f", u"a.fw", u"-f", u"b.fw", u"-addr", u"5", u"-addr", u"6"},
                        {.file = u"b.fw", .addr = u"6"}},
        CommandLineCase{"RunningOutMidOption", {u"-c", u"COM4", u"57600"}, {.port = u"COM4", .speed = u"57600", .state = 12}},
        CommandLineCase{"ValueThatLooksLikeAnOption", {u"-f", u"-c"}, {.file = u"c"}},
        CommandLineCase{"PcMinusFiveLosesItsDash", {u"-pc", u"-5"}, {.pc = u"5"}},
        CommandLineCase{"PcBlankMinusFive", {u"-pc", u" -5"}, {.pc = u"0"}},
        CommandLineCase{"DirWithNothingAfter", {u"-dir"}, {.state = 30}}),
    [](const testing::TestParamInfo<CommandLineCase>& p) { return p.param.name; });

TEST(CommandLine, SmallNumbers)
{
    const std::pair<std::u16string, std::u16string> addr[] = {
        {u"127", u"127"}, {u"128", u"1"},  {u"abc", u"0"},   {u"12abc", u"12"},        {u"007", u"7"},
        {u"0x10", u"0"},  {u"  +3", u"3"}, {u"-0", u"0"},    {u"99999999999", u"1"},   {u"", u"0"},
    };
    for (const auto& [text, result] : addr)
        EXPECT_EQ(NormaliseSmallNumber(text.c_str(), 1), result) << std::string(text.begin(), text.end());
    EXPECT_EQ(NormaliseSmallNumber(u"300", 0), u"0");
    EXPECT_EQ(NormaliseSmallNumber(u"-5", 0), u"0");
}

TEST(CommandLine, DirectoryDefaultsToTheCurrentOneAndTakesAValue)
{
    CPrikazovyRadek record;
    EXPECT_EQ(std::u16string(record.m_szDir), pyrrow::platform::CurrentDirectory());
    const std::vector<std::u16string> args = {u"-dir", AbsolutePath(u"srv/firmware")};
    ParseCommandLine(record, args);
    EXPECT_EQ(std::u16string(record.m_szDir), AbsolutePath(u"srv/firmware"));
}

// A relative -f or -dir names the file from the folder the program started
// in: made absolute at start-up, it names the same file once the program,
// or the next start that reads it from the settings, runs in another folder.
TEST(CommandLine, RelativePathsStayTrueInAnotherFolder)
{
    namespace fs = std::filesystem;
    pyrrow::test::TempDir dir;
    const fs::path start = dir.path() / "start";
    fs::create_directories(start / "fw");
    fs::create_directories(dir.path() / "elsewhere");
    pyrrow::test::WriteBytes(start / "try.fw", "the image");
    pyrrow::test::WriteBytes(start / "mark", "start");
    pyrrow::test::WriteBytes(start / "fw" / "mark", "fw");
    struct Restore {
        fs::path was = fs::current_path();
        ~Restore() { fs::current_path(was); }
    } restore;
    const struct {
        std::u16string file, folder;
    } cases[] = {{u"try.fw", u"fw"}, {u"./try.fw", u"./fw/"}, {u"fw/../try.fw", u"."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file.begin(), c.file.end()));
        fs::current_path(start);
        std::u16string file, folder;
        CPyrrowApp app({u"-f", c.file, u"-dir", c.folder}, [&](CPyrrowDlg& dialog) {
            file = dialog.m_pCmdLine->m_szFile;
            folder = dialog.m_pCmdLine->m_szDir;
            return 0;
        });
        app.InitInstance();
        fs::current_path(dir.path() / "elsewhere");
        EXPECT_TRUE(fs::path(file).is_absolute());
        EXPECT_EQ(pyrrow::test::ReadBytes(fs::path(file)), "the image");
        EXPECT_TRUE(fs::path(folder).is_absolute());
        EXPECT_EQ(pyrrow::test::ReadBytes(fs::path(folder) / "mark"), c.folder == u"." ? "start" : "fw");
    }
}

// A path is never cut: a cut one may name another file. (The values are
// relative, since a leading slash is a switch on Windows.) The longest path
// Linux has is held whole, a longer one is refused (the field keeps what it
// held, and standard error says why). The short fields are cut, but never
// inside a surrogate pair.
TEST(CommandLine, PathsAreHeldWholeOrRefusedAndShortFieldsCut)
{
    const std::u16string pair = u"\U0001F600";
    const struct {
        std::u16string value;
        bool fits;
    } paths[] = {
        {std::u16string(269, u'f'), true},
        {std::u16string(4095, u'f'), true},
        {std::u16string(4096, u'f'), false},
        {std::u16string(4094, u'f').append(pair), false},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.value.size());
        CPrikazovyRadek record;
        const std::u16string before = record.m_szDir;
        const std::vector<std::u16string> args = {u"-f", p.value, u"-dir", p.value};
        testing::internal::CaptureStderr();
        ParseCommandLine(record, args);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::u16string(record.m_szFile), p.fits ? p.value : u"");
        EXPECT_EQ(std::u16string(record.m_szDir), p.fits ? p.value : before);
        EXPECT_EQ(errors.find("-f has") == std::string::npos, p.fits) << errors;
        EXPECT_EQ(errors.find("-dir has") == std::string::npos, p.fits) << errors;
    }

    const std::u16string longPort(500, u'p');
    CPrikazovyRadek record;
    const std::u16string pairAtTheCut = std::u16string(126, u's') + pair;
    const std::vector<std::u16string> args = {u"-c", longPort, pairAtTheCut, u"x", u"y"};
    ParseCommandLine(record, args);
    EXPECT_EQ(std::u16string(record.m_szPort), longPort.substr(0, 127));
    EXPECT_EQ(std::u16string(record.m_szSpeed), pairAtTheCut.substr(0, 126));
}

TEST(CommandLine, ArgumentsFromTheLocaleEncoding)
{
    if (pyrrow::test::SlashMarksOptions())
        GTEST_SKIP() << "Windows splits its UTF-16 command line instead (win32_tests: ArgumentsOfAChildProcess)";
    const char* argv[] = {"pyrrow", "-f", "/home/j\xC3\xA1/\xC4\x8D.fw", "bad\xFF"};
    const auto args = pyrrow::platform::ProgramArguments(4, argv);
    ASSERT_EQ(args.size(), 3u);  // the program's name is not one
    EXPECT_EQ(args[1], u"/home/j\u00E1/\u010D.fw");
    EXPECT_EQ(args[2], u"bad\uFFFD");
}

TEST(WideNumbers, AsTheCLibraryReadsThem)
{
    EXPECT_EQ(ReadUnsignedLong(u"38400"), 38400u);
    EXPECT_EQ(ReadUnsignedLong(u"-1"), 4294967295u);
    EXPECT_EQ(ReadUnsignedLong(u"-2147483648"), 2147483648u);
    EXPECT_EQ(ReadUnsignedLong(u"99999999999"), 4294967295u);
    EXPECT_EQ(ReadUnsignedLong(u" \t12x"), 12u);
    EXPECT_EQ(ReadLong(u"2147483648"), INT32_MAX);
    EXPECT_EQ(ReadLong(u"-2147483649"), INT32_MIN);
    const char16_t* text = u"abc";
    const char16_t* end = nullptr;
    EXPECT_EQ(ReadUnsignedLong(text, &end), 0u);
    EXPECT_EQ(end, text);  // no digits: the end is the start
    const char16_t* number = u"  42.7";
    ReadUnsignedLong(number, &end);
    EXPECT_EQ(end, number + 4);
}

}  // namespace
