#include "xml/char_class.h"

namespace pyrrow {

bool IsWideSpace(char16_t c)
{
    if (c == u' ' || (c >= u'\t' && c <= u'\r'))
        return true;
    switch (c) {
    case 0x0085: case 0x00A0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

bool IsWideAlnum(char16_t c)
{
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
        return true;
    if (c == 0x00AA || c == 0x00B5 || c == 0x00BA)
        return true;
    // Latin-1 letters (without the multiplication and division signs) and Latin Extended-A.
    return c >= 0x00C0 && c <= 0x017F && c != 0x00D7 && c != 0x00F7;
}

bool IsWideGraph(char16_t c)
{
    if (c < 0x21 || (c >= 0x7F && c <= 0xA0))
        return false;
    return c != 0xFEFF && !IsWideSpace(c);
}

}  // namespace pyrrow
