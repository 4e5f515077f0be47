#include "settings/settings_document.h"

#include <algorithm>

#include "xml/tag.h"
#include "xml/xml_file.h"

namespace pyrrow::settings {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

// How the file's bytes were most likely written, told by its first
// character, which in a settings file is a byte order mark, white space or
// "<": in UTF-16LE its high byte is 0.
enum class Encoding { Utf16Le, EightBit, Utf16Be };

Encoding GuessEncoding(const char16_t* text, std::int32_t length)
{
    if (length > 0 && text[0] == 0xFFFE)
        return Encoding::Utf16Be;
    const std::int32_t first = length > 0 && text[0] == kByteOrderMark ? 1 : 0;
    if (first >= length)
        return Encoding::Utf16Le;
    const unsigned low = text[first] & 0xFFu;
    const unsigned high = static_cast<unsigned>(text[first]) >> 8;
    if (low != 0 && high != 0)
        return Encoding::EightBit;  // two bytes of text in one code unit
    if (low == 0 && high != 0)
        return Encoding::Utf16Be;
    return Encoding::Utf16Le;
}

std::string SyntaxCause(int parsed)
{
    switch (parsed) {
    case 0:
        return "it holds no element";
    case -1:
        return "text before the first element";
    case -2:
        return "a \"<\" or \"</\" followed by no name";
    case -4:
        return "an attribute name followed by neither \"=\" nor a space";
    case -5:
        return "an attribute name without \"=\" after it";
    case -6:
        return "an attribute value without quotes";
    case -40:
        return "a \"/\" in a tag without \">\" right after it";
    case -102:
        return "an end tag that closes no open element of that name";
    case -2001:
        return "a processing instruction \"<?\" that ends in \">\" without \"?\"";
    case CMyXMLFile::kParseUnclosed:
        return "the text ends before every element is closed";
    case CMyXMLFile::kParseCDataOutsideElement:
        return "a CDATA section outside every element";
    default:
        return "a damaged comment, CDATA section or DOCTYPE after \"<!\"";
    }
}

}  // namespace

std::string ParseProblem(const CMyXMLFile& document, int parsed, std::uint64_t fileBytes)
{
    const char16_t* text = document.m_strContent.GetString();
    const std::int32_t length = text != nullptr ? document.m_strContent.GetLength() : 0;
    const std::int32_t stop = std::min(document.m_nParseStop, length);
    const std::string byte = "byte " + std::to_string(std::uint64_t{2} * static_cast<std::uint64_t>(stop));
    const std::string code = " (code " + std::to_string(parsed) + ")";

    switch (GuessEncoding(text, length)) {
    case Encoding::EightBit:
        return "does not parse at " + byte +
               ": it looks like UTF-8 (or another 8-bit text), but a settings file is UTF-16LE with a byte order "
               "mark; convert it with iconv -f UTF-8 -t UTF-16LE FILE > NEW" + code;
    case Encoding::Utf16Be:
        return "does not parse at " + byte +
               ": it looks like UTF-16 big-endian, but a settings file is UTF-16LE with a byte order mark; convert "
               "it with iconv -f UTF-16BE -t UTF-16LE FILE > NEW" + code;
    case Encoding::Utf16Le:
        break;
    }
    // Lines and columns as an editor counts them: the byte order mark is no
    // column of its own.
    std::int32_t line = 1;
    std::int32_t lineStart = length > 0 && text[0] == kByteOrderMark ? 1 : 0;
    for (std::int32_t i = 0; i < stop; ++i) {
        if (text[i] == u'\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    const std::string where = "line " + std::to_string(line) + ", column " + std::to_string(stop - lineStart + 1) +
                              " (" + byte + ")";
    // The content ends at the first NUL; the file held more.
    const std::uint64_t units = fileBytes / 2;
    if (static_cast<std::uint64_t>(length) < units)
        return "does not parse at " + where + ": a NUL character at byte " +
               std::to_string(std::uint64_t{2} * static_cast<std::uint64_t>(length)) + " cuts the text short" + code;
    return "does not parse at " + where + ": " + SyntaxCause(parsed) + code;
}

std::string NestingProblem(const CMyTag& root)
{
    int level = 1;
    const CMyTag* element = &root;
    while (element != nullptr) {
        if (element->m_pChild != nullptr) {
            element = element->m_pChild;
            if (++level > kMaxNesting)
                return "holds elements nested more than " + std::to_string(kMaxNesting) +
                       " levels deep, far deeper than a settings file ever is";
            continue;
        }
        while (element != nullptr && element->m_pNext == nullptr) {
            element = element->m_pParent;
            --level;
        }
        if (element != nullptr)
            element = element->m_pNext;
    }
    return {};
}

}  // namespace pyrrow::settings
