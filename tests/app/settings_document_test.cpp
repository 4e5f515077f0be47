// What the operator is told about a settings file that does not parse:
// where the reading stopped and the likely cause, the same words on the
// window's standard error and from pyrrow-cli.
#include <string>

#include <gtest/gtest.h>

#include "settings/settings_document.h"
#include "support/named_row.h"
#include "support/temp_dir.h"
#include "xml/xml_file.h"

namespace {

using pyrrow::test::Utf16LeBytes;

struct ParseCase {
    const char* name;
    std::string bytes;     // the file
    std::string expected;  // the whole text
};

using pyrrow::test::PrintTo;

class ParseProblemTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseProblemTable, SaysWhereAndWhy)
{
    const ParseCase& c = GetParam();
    CMyXMLFile document;
    // Framed as loading frames a file: UTF-16LE code units up to the first NUL.
    document.m_strContent.Set(pyrrow::test::FromUtf16LeBytes(c.bytes).c_str());
    const int parsed = document.Parse();
    ASSERT_NE(parsed, 1);
    EXPECT_EQ(pyrrow::settings::ParseProblem(document, parsed, c.bytes.size()), c.expected);
}

const std::string kUtf8 = "it looks like UTF-8 (or another 8-bit text), but a settings file is UTF-16LE with a "
                          "byte order mark; convert it with iconv -f UTF-8 -t UTF-16LE FILE > NEW";

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseProblemTable,
    testing::Values(
        // The byte order mark is no column; the byte offset counts it.
        ParseCase{"UnquotedValueOnTheSecondLine", Utf16LeBytes(u"\uFEFF<DriverSetting>\r\n\t<Address pc=7/>"),
                  "does not parse at line 2, column 14 (byte 62): an attribute value without quotes (code -6)"},
        ParseCase{"Utf8WithItsMark", "\xEF\xBB\xBF<DriverSetting><Address pc=\"1\"/></DriverSetting>",
                  "does not parse at byte 0: " + kUtf8 + " (code -1)"},
        ParseCase{"Utf8", "<DriverSetting/>\n", "does not parse at byte 0: " + kUtf8 + " (code -1)"},
        ParseCase{"Utf16BigEndian", "\xFE\xFF" + std::string("\0<\0D\0/\0>", 8),
                  "does not parse at byte 0: it looks like UTF-16 big-endian, but a settings file is UTF-16LE with "
                  "a byte order mark; convert it with iconv -f UTF-16BE -t UTF-16LE FILE > NEW (code -1)"},
        ParseCase{"NulCutsTheText",
                  Utf16LeBytes(u"\uFEFF<DriverSetting><Address/>") + std::string(2, '\0') +
                      Utf16LeBytes(u"</DriverSetting>"),
                  "does not parse at line 1, column 26 (byte 52): a NUL character at byte 52 cuts the text short "
                  "(code -12345)"},
        ParseCase{"EndsBeforeItsElementsClose", Utf16LeBytes(u"\uFEFF<DriverSetting>\r\n<File>\r\n"),
                  "does not parse at line 3, column 1 (byte 52): the text ends before every element is closed "
                  "(code -12345)"},
        ParseCase{"EndTagOfAnotherElement", Utf16LeBytes(u"<a><b></a>"),
                  "does not parse at line 1, column 10 (byte 18): an end tag that closes no open element of that "
                  "name (code -102)"}),
    [](const testing::TestParamInfo<ParseCase>& p) { return p.param.name; });

}  // namespace
