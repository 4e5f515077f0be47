// WriteTree: the element tree as UTF-16LE XML text with a byte order mark,
// one element per line, one tab per level, CR LF line ends. The walk follows
// the child, next and parent links, so neither depth nor sibling count is
// limited by the call stack and it needs no memory of its own; each
// element's pieces are assembled in its own m_strLine.
#include <bit>
#include <string>

#include "xml/xml_file.h"

// The file takes the code units as they are in memory, low byte first.
static_assert(std::endian::native == std::endian::little, "the writer stores UTF-16LE as held in memory");

namespace {

bool IsEmptyText(const CDynWString& s)
{
    return s.GetString() == nullptr || s.GetCapacity() == 0 || s.GetLength() == 0;
}

// Empty elements stand alone as "<name />" and get no closing part.
bool IsSelfClosing(const CMyTag* e)
{
    return e->m_pChild == nullptr && IsEmptyText(e->m_strText) && e->m_bCData == 0;
}

bool NeedsCData(const CMyTag* e)
{
    if (e->m_bCData == 1)
        return true;
    const char16_t* t = e->m_strText.GetString();
    for (std::int32_t i = 0; i < e->m_strText.GetLength(); ++i)
        if (t[i] == u'<' || t[i] == u'>' || t[i] == u'&')
            return true;
    return false;
}

// Appends value with exactly "&" and the double quote escaped; every other
// character is written as it is. One pass, whatever the number of escapes.
bool AppendEscaped(CDynWString& line, const char16_t* value)
{
    const char16_t* run = value;
    for (const char16_t* p = value;; ++p) {
        if (*p != 0 && *p != u'&' && *p != u'"')
            continue;
        if (!line.AppendN(run, static_cast<std::int32_t>(p - run)))
            return false;
        if (*p == 0)
            return true;
        if (!line.Append(*p == u'&' ? u"&amp;" : u"&quot;"))
            return false;
        run = p + 1;
    }
}

enum class TagPart { Opening, Closing };

// The output of one walk: each piece of an element is assembled in that
// element's m_strLine and written at once. Every method gives false at the
// first failure, of memory or of the file, and the walk then ends.
class Output {
public:
    explicit Output(std::string* out) : m_out(out) {}

    // The opening part of an element (indentation, start tag, attributes,
    // its text) or its closing part (indentation and end tag; nothing for an
    // element that stands alone as "<name />").
    bool WriteTagPart(CMyTag* e, TagPart part, std::int32_t depth);

private:
    bool Write(const char16_t* text, std::int32_t length)
    {
        m_out->append(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length) * sizeof(char16_t));
        return true;
    }
    bool WriteLine(const CDynWString& line) { return Write(line.GetString(), line.GetLength()); }
    // One tab per level, from a run of tabs as long as the deepest level yet.
    bool Indent(std::int32_t depth)
    {
        while (m_tabs.GetLength() < depth)
            if (!m_tabs.AppendChar(u'\t'))
                return false;
        return Write(m_tabs.GetString(), depth);
    }
    bool Opening(CMyTag* e, std::int32_t depth);

    std::string* m_out;
    CDynWString m_tabs;
};

bool Output::WriteTagPart(CMyTag* e, TagPart part, std::int32_t depth)
{
    if (part == TagPart::Opening)
        return Opening(e, depth);
    if (IsSelfClosing(e))
        return true;
    return Indent(depth) && e->m_strLine.Format(u"</%s>\r\n", e->GetName()) && WriteLine(e->m_strLine);
}

bool Output::Opening(CMyTag* e, std::int32_t depth)
{
    CDynWString& line = e->m_strLine;
    if (!Indent(depth) || !line.Format(u"<%s", e->GetName()) || !WriteLine(line))
        return false;
    for (const AttrBlock* b = &e->m_attrs; b != nullptr; b = b->next) {
        for (int i = 0; i < AttrBlock::kSlots; ++i) {
            if (IsEmptyText(b->names[i]))
                continue;
            const char16_t* value = b->values[i].GetString();
            if (!line.Format(u" %s=\"", b->names[i].GetString()) || !WriteLine(line))
                return false;
            line.Empty();
            if (!AppendEscaped(line, value != nullptr ? value : u"") || !line.AppendChar(u'"') || !WriteLine(line))
                return false;
        }
    }

    // The document keeps the trimmed text. Trimming fails only on a text
    // without buffer, which has nothing to trim.
    e->m_strText.TrimRight();
    if (e->m_strText.GetString() != nullptr)
        e->m_strText.TrimLeft();

    if (IsSelfClosing(e))
        return line.Set(u" />\r\n") && WriteLine(line);
    if (IsEmptyText(e->m_strText) && e->m_bCData == 0)
        return line.Set(u">\r\n") && WriteLine(line);
    const bool cdata = NeedsCData(e);
    const char16_t* text = e->m_strText.GetString();
    return line.Set(u">") && (!cdata || line.Append(u"<![CDATA[")) && line.Append(text != nullptr ? text : u"") &&
           (!cdata || line.Append(u"]]>")) && WriteLine(line);
}

}  // namespace

bool CMyXMLFile::WriteTree(std::string* text, CMyTag* start)
{
    text->append("\xFF\xFE");  // the byte order mark
    Output out(text);
    CMyTag* e = start;
    std::int32_t depth = 0;
    for (;;) {
        // Only a failed allocation leaves an element unnamed; it has nothing
        // worth keeping and no name to write, so it is left out with what
        // lies below it.
        const bool named = e->GetName() != nullptr;
        if (named && !out.WriteTagPart(e, TagPart::Opening, depth))
            return false;
        if (named && e->m_pChild != nullptr) {
            e = e->m_pChild;
            ++depth;
            continue;
        }
        // Closes e and every parent whose last child was just closed, up to
        // the next sibling or the end of the start's level.
        for (;;) {
            if (e->GetName() != nullptr && !out.WriteTagPart(e, TagPart::Closing, depth))
                return false;
            if (e->m_pNext != nullptr) {
                e = e->m_pNext;
                break;
            }
            if (depth == 0)
                return true;
            e = e->m_pParent;
            --depth;
        }
    }
}
