#include "xml/char_class.h"

#include <gtest/gtest.h>

namespace {

struct ClassCase {
    char16_t c;
    bool space;
    bool alnum;
    bool graph;
};

TEST(CharClass, FixedTableIndependentOfLocale)
{
    const ClassCase cases[] = {
        {u' ', true, false, false},     {u'\t', true, false, false},   {u'\r', true, false, false},
        {u'\n', true, false, false},    {u'\v', true, false, false},   {u'\f', true, false, false},
        {0x00A0, true, false, false},   {0x3000, true, false, false},  {0x2009, true, false, false},
        {u'a', false, true, true},      {u'Z', false, true, true},     {u'7', false, true, true},
        {u'_', false, false, true},     {u'<', false, false, true},    {0x010D, false, true, true},  // c caron
        {0x00D7, false, false, true},   {0x0000, false, false, false}, {0x001F, false, false, false},
        {0x007F, false, false, false},  {0x0085, true, false, false},  {0xFEFF, false, false, false},
        {0x20AC, false, false, true},   // euro sign
    };
    for (const ClassCase& c : cases) {
        EXPECT_EQ(pyrrow::IsWideSpace(c.c), c.space) << std::hex << int(c.c);
        EXPECT_EQ(pyrrow::IsWideAlnum(c.c), c.alnum) << std::hex << int(c.c);
        EXPECT_EQ(pyrrow::IsWideGraph(c.c), c.graph) << std::hex << int(c.c);
    }
}

}  // namespace
