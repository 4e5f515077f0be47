// WriteTree / WriteTagPart: the element tree as UTF-16LE XML text with a
// byte order mark, one element per line, one tab per level, CR LF line ends.
// The walk keeps its own stack, so neither depth nor sibling count is
// limited by the call stack.
#include <bit>
#include <new>

#include "xml/xml_file.h"

namespace file = pyrrow::platform;

// The file takes the code units as they are in memory, low byte first.
static_assert(std::endian::native == std::endian::little, "the writer stores UTF-16LE as held in memory");

namespace {

enum : unsigned {
    kOpened = 1,        // the opening part is written
    kChildPushed = 2,   // the first child has been pushed
    kNextPushed = 4,    // the next sibling has been pushed
    kClosed = 8,        // the closing part is written
};

struct StackEntry {
    CMyTag* element;
    std::int32_t depth;
    unsigned bits;
};

struct StackChunk {
    static constexpr int kEntries = 32;

    StackEntry entries[kEntries];
    int count;  // entries held
    int top;    // index of the top entry
    StackChunk* next;
    StackChunk* previous;
};

// The walk's stack: the first chunk in the caller's frame, further ones on
// the heap, kept for reuse until the walk ends.
class WalkStack {
public:
    explicit WalkStack(StackChunk* first) : m_first(first), m_current(first) {}
    ~WalkStack()
    {
        for (StackChunk* c = m_first->next; c != nullptr;) {
            StackChunk* next = c->next;
            delete c;
            c = next;
        }
    }
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;

    bool Empty() const { return m_current->count == 0; }
    StackEntry& Top() { return m_current->entries[m_current->top]; }

    bool Push(CMyTag* element, std::int32_t depth)
    {
        if (m_current->count == StackChunk::kEntries) {
            if (m_current->next == nullptr) {
                auto* chunk = new (std::nothrow) StackChunk{};
                if (chunk == nullptr)
                    return false;
                chunk->previous = m_current;
                m_current->next = chunk;
            }
            m_current = m_current->next;
        }
        m_current->top = m_current->count++;
        m_current->entries[m_current->top] = {element, depth, 0};
        return true;
    }

    void Pop()
    {
        --m_current->count;
        m_current->top = m_current->count - 1;
        if (m_current->count == 0 && m_current->previous != nullptr)
            m_current = m_current->previous;
    }

private:
    StackChunk* m_first;
    StackChunk* m_current;
};

void WriteLine(file::FileHandle f, const CDynWString& line)
{
    if (line.GetLength() > 0)
        file::WriteFile(f, line.GetString(), static_cast<std::size_t>(line.GetLength()) * sizeof(char16_t));
}

void Indent(CDynWString& line, std::int32_t depth)
{
    line.Empty();
    for (std::int32_t i = 0; i < depth; ++i)
        line.AppendChar(u'\t');
}

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

// Escapes exactly "&" and the double quote; every other character of a
// value is written as it is.
void EscapeValue(CDynWString& line)
{
    for (std::int32_t i = 0; i < line.GetLength(); ++i)
        if (line.GetString()[i] == u'&')
            line.Replace(u"&", u"&amp;", i);
    for (std::int32_t i = 0; i < line.GetLength(); ++i)
        if (line.GetString()[i] == u'"')
            line.Replace(u"\"", u"&quot;", i);
}

}  // namespace

void CMyXMLFile::WriteTagPart(CMyTag* e, file::FileHandle f, bool opening, std::int32_t depth)
{
    CDynWString& line = e->m_strLine;
    if (!opening) {
        if (IsSelfClosing(e))
            return;
        Indent(line, depth);
        WriteLine(f, line);
        line.Format(u"</%s>\r\n", e->GetName());
        WriteLine(f, line);
        return;
    }

    Indent(line, depth);
    WriteLine(f, line);
    line.Format(u"<%s", e->GetName());
    WriteLine(f, line);
    for (const AttrBlock* b = &e->m_attrs; b != nullptr; b = b->next) {
        for (int i = 0; i < AttrBlock::kSlots; ++i) {
            if (IsEmptyText(b->names[i]))
                continue;
            line.Format(u" %s=\"", b->names[i].GetString());
            WriteLine(f, line);
            line.Set(b->values[i].GetString());
            EscapeValue(line);
            line.AppendChar(u'"');
            WriteLine(f, line);
        }
    }

    // The document keeps the trimmed text.
    e->m_strText.TrimRight();
    if (e->m_strText.GetString() != nullptr)
        e->m_strText.TrimLeft();

    if (IsSelfClosing(e)) {
        line.Set(u" />\r\n");
    } else if (IsEmptyText(e->m_strText) && e->m_bCData == 0) {
        line.Set(u">\r\n");
    } else {
        line.Set(u">");
        const bool cdata = NeedsCData(e);
        if (cdata)
            line.Append(u"<![CDATA[");
        line.Append(e->m_strText.GetString() != nullptr ? e->m_strText.GetString() : u"");
        if (cdata)
            line.Append(u"]]>");
    }
    WriteLine(f, line);
}

bool CMyXMLFile::WriteTree(file::FileHandle f, CMyTag* start)
{
    if (f == nullptr)
        return false;
    static constexpr unsigned char kByteOrderMark[] = {0xFF, 0xFE};
    file::WriteFile(f, kByteOrderMark, sizeof kByteOrderMark);

    StackChunk first{};
    WalkStack stack(&first);
    stack.Push(start, 0);
    while (!stack.Empty()) {
        StackEntry& top = stack.Top();
        CMyTag* e = top.element;
        const std::int32_t depth = top.depth;
        if (top.bits == 0) {
            if (e->GetName() == nullptr) {
                // Only a failed allocation leaves an element unnamed; it has
                // nothing worth keeping and no name to write, so it is left
                // out with what lies below it.
                top.bits = kOpened | kChildPushed | kClosed;
            } else {
                WriteTagPart(e, f, true, depth);
                top.bits |= kOpened;
            }
        }
        if ((top.bits & kChildPushed) == 0 && e->m_pChild != nullptr) {
            top.bits |= kChildPushed;
            if (!stack.Push(e->m_pChild, depth + 1))
                return false;
        } else if ((top.bits & kNextPushed) == 0 && e->m_pNext != nullptr) {
            top.bits |= kNextPushed;
            if ((top.bits & kClosed) == 0) {
                WriteTagPart(e, f, false, depth);
                top.bits |= kClosed;
            }
            if (!stack.Push(e->m_pNext, depth))
                return false;
        } else {
            if ((top.bits & kClosed) == 0)
                WriteTagPart(e, f, false, depth);
            stack.Pop();
        }
    }
    return true;
}
