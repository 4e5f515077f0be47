// Parse: turns m_strContent into the element tree below m_root in one pass,
// one UTF-16 code unit at a time, with a state machine of numbered states.
// A negative result names the state in which a syntax error was found.
#include <algorithm>
#include <iterator>

#include "xml/char_class.h"
#include "xml/notice.h"
#include "xml/xml_file.h"

namespace {

using pyrrow::IsWideAlnum;
using pyrrow::IsWideSpace;

bool IsNameStart(char16_t c)
{
    return IsWideAlnum(c) || c == u'_' || c == u':';
}

bool IsNameChar(char16_t c)
{
    return IsWideAlnum(c) || c == u'_' || c == u'-' || c == u':' || c == u'.';
}

// A fixed keyword after "<![" or "<!D": the state that expects each
// character, the character, and the code when another one comes. Two codes
// are off by one in each run; stored files and callers know them so.
struct KeywordStep {
    int state;
    char16_t expected;
    int failure;
};

constexpr KeywordStep kKeywordSteps[] = {
    {1021, u'C', -1021}, {1022, u'D', -1022}, {1023, u'A', -1023}, {1024, u'T', -1024},
    {1025, u'A', -1026}, {1026, u'[', -1026}, {1041, u'O', -1041}, {1042, u'C', -1043},
    {1043, u'T', -1044}, {1044, u'Y', -1045}, {1045, u'P', -1045}, {1046, u'E', -1046},
    {1047, u' ', -1047},
};

// The entities decoded in attribute values, in the order they are decoded.
struct Entity {
    const char16_t* name;
    char16_t character;
};
constexpr Entity kEntities[] = {
    {u"&quot;", u'"'}, {u"&apos;", u'\''}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&amp;", u'&'},
};

// Replaces every occurrence of entity in value by the character c, each
// replacement seeking the next occurrence from the start of the value again,
// so that "&amp;amp;" decodes to a single "&". In one pass: the value before
// a replaced character holds no occurrence, and a new one can only begin at
// that character (the "&" that "&amp;" leaves), so going on from there finds
// the same occurrences.
void DecodeEntity(CDynWString& value, const char16_t* entity, char16_t c)
{
    char16_t* text = value.GetBuffer();
    if (text == nullptr)
        return;
    std::int32_t n = 0;
    while (entity[n] != 0)
        ++n;
    std::int32_t w = 0;
    for (std::int32_t r = 0; text[r] != 0; ++r) {
        text[w++] = text[r];
        if (w >= n && text[w - 1] == entity[n - 1] && std::equal(entity, entity + n, text + w - n)) {
            w -= n;
            text[w++] = c;
        }
    }
    text[w] = 0;
    value.ReleaseBuffer();
}

}  // namespace

void CMyXMLFile::StoreAttribute(CMyTag* element)
{
    for (const auto& entity : kEntities)
        DecodeEntity(m_strToken, entity.name, entity.character);
    element->SetAttribute(m_strAttrName.GetString(), m_strToken.GetString());
}

int CMyXMLFile::Parse()
{
    m_strToken.Alloc(64);
    m_strAttrName.Alloc(64);
    m_nParseStop = 0;
    const char16_t* text = m_strContent.GetString();
    const std::int32_t length = m_strContent.GetLength();
    if (text == nullptr || length == 0)
        return 0;

    int state = 0;
    CMyTag* current = nullptr;
    bool pendingSpace = false;
    bool closed = false;
    std::int32_t cdataStart = 0;

    // Opens the element named by the token: the root first, then a sibling
    // of a closed element or a child of an open one.
    auto open = [&]() -> bool {
        CMyTag* target = current == nullptr ? &m_root
                         : closed           ? current->GetOrAddNext()
                                            : current->GetOrAddChild();
        if (target == nullptr)
            return false;
        pendingSpace = false;
        target->SetName(m_strToken.GetString());
        m_strToken.Empty();
        current = target;
        return true;
    };

    // Handles an end tag whose name is in the token; endedByBracket tells
    // whether the name ended with ">" rather than white space.
    auto close = [&](bool endedByBracket) -> bool {
        if (closed && current != nullptr) {
            if (current->m_pParent == nullptr && endedByBracket) {
                const pyrrow::NoticeName caption(current->GetName());
                pyrrow::ShowNotice(pyrrow::NoticeName(m_strToken.GetString()).Text(), caption.Text());
                pyrrow::ShowNotice(m_strFileName.GetString(), caption.Text());
            }
            current = current->m_pParent;
            pendingSpace = false;
        }
        if (current == nullptr || current->m_strName.Compare(m_strToken.GetString()) != 0)
            return false;
        m_strToken.Empty();
        return true;
    };

    // Every return inside the loop leaves m_nParseStop on the character
    // that ended it.
    for (std::int32_t i = 0; i < length; m_nParseStop = ++i) {
        const char16_t c = text[i];
        switch (state) {
        case 0:  // between tags
            if (c == u'<') {
                m_strToken.Empty();
                state = 1;
            } else if (IsWideSpace(c)) {
                const CDynWString* t = current != nullptr ? &current->m_strText : nullptr;
                pendingSpace = t != nullptr && t->GetLength() > 0 && !IsWideSpace(t->GetString()[t->GetLength() - 1]);
            } else if (current == nullptr) {
                if (c != 0xFEFF && pyrrow::IsWideGraph(c))
                    return -1;
            } else {
                if (pendingSpace) {
                    current->AppendTextChar(u' ');
                    pendingSpace = false;
                }
                current->AppendTextChar(c);
            }
            break;
        case 1:  // after "<"
            if (c == u'/')
                state = 101;
            else if (c == u'!')
                state = 1001;
            else if (c == u'?')
                state = 2001;
            else if (IsNameStart(c)) {
                m_strToken.AppendChar(c);
                state = 2;
            } else
                return -2;
            break;
        case 2:  // element name
            if (IsNameChar(c)) {
                m_strToken.AppendChar(c);
            } else if (IsWideSpace(c) || c == u'/' || c == u'>') {
                if (!open())
                    return kParseOutOfMemory;
                if (c == u'>')
                    closed = false;
                state = c == u'>' ? 0 : c == u'/' ? 40 : 3;
            }
            break;
        case 3:  // inside a start tag
            if (c == u'/') {
                state = 40;
            } else if (IsNameStart(c)) {
                m_strToken.AppendChar(c);
                state = 4;
            } else if (c == u'>') {
                closed = false;
                state = 0;
            }
            break;
        case 4:  // attribute name
            if (IsNameChar(c)) {
                m_strToken.AppendChar(c);
            } else if (IsWideSpace(c) || c == u'=') {
                m_strAttrName.Set(m_strToken.GetString());
                m_strToken.Empty();
                state = c == u'=' ? 6 : 5;
            } else {
                return -4;
            }
            break;
        case 5:  // after the attribute name
            if (c == u'=')
                state = 6;
            else if (!IsWideSpace(c))
                return -5;
            break;
        case 6:  // after "="
            if (c == u'\'')
                state = 7;
            else if (c == u'"')
                state = 8;
            else if (!IsWideSpace(c))
                return -6;
            break;
        case 7:  // value in single quotes
        case 8:  // value in double quotes
            if (c == (state == 7 ? u'\'' : u'"')) {
                StoreAttribute(current);
                m_strAttrName.Empty();
                m_strToken.Empty();
                state = 3;
            } else {
                m_strToken.AppendChar(c);
            }
            break;
        case 40:  // "/" inside a start tag
            if (c != u'>')
                return -40;
            closed = true;
            state = 0;
            break;
        case 101:  // after "</"
            if (!IsNameStart(c))
                return -2;
            m_strToken.AppendChar(c);
            state = 102;
            break;
        case 102:  // end-tag name
            if (IsNameChar(c)) {
                m_strToken.AppendChar(c);
            } else if (IsWideSpace(c) || c == u'>') {
                if (!close(c == u'>'))
                    return -102;
                if (c == u'>')
                    closed = true;
                state = c == u'>' ? 0 : 103;
            }
            break;
        case 103:  // after the end-tag name
            if (c == u'>') {
                m_strToken.Empty();
                closed = true;
                state = 0;
            }
            break;
        case 1001:  // after "<!"
            if (c == u'-')
                state = 1011;
            else if (c == u'[')
                state = 1021;
            else if (c == u'D')
                state = 1041;
            else
                return -1001;
            break;
        case 1011:  // after "<!-"
            if (c != u'-')
                return -1011;
            state = 1012;
            break;
        case 1012:  // inside a comment
            if (c == u'-')
                state = 1013;
            break;
        case 1013:  // comment, one "-"
            state = c == u'-' ? 1014 : 1012;
            break;
        case 1014:  // comment, "--"
            state = c == u'>' ? 0 : 1012;
            break;
        case 1027:  // CDATA content
            if (c == u']')
                state = 1028;
            break;
        case 1028:  // CDATA, one "]"
            state = c == u']' ? 1029 : 1027;
            break;
        case 1029:  // CDATA, "]]"
            // A further "]" belongs to the content: "]]]>" is a "]" and
            // then the end, as written for a text that ends in "]".
            if (c == u']')
                break;
            if (c != u'>') {
                state = 1027;
                break;
            }
            if (current == nullptr)
                return kParseCDataOutsideElement;
            current->m_bCData = 1;
            current->SetTextN(text + cdataStart, i - 2 - cdataStart);
            state = 0;
            break;
        case 1048:  // document type declaration
            if (c == u'>')
                state = 0;
            break;
        case 2001:  // processing instruction
            if (c == u'?')
                state = 2002;
            else if (c == u'>')
                return -2001;
            break;
        case 2002:  // after "?" in a processing instruction
            if (c == u'>')
                state = 0;
            else if (c != u'?')
                state = 2001;
            break;
        default: {  // the keywords CDATA[ and DOCTYPE
            const KeywordStep* step = std::ranges::find(kKeywordSteps, state, &KeywordStep::state);
            const bool known = step != std::end(kKeywordSteps);
            if (!known || c != step->expected)
                return known ? step->failure : -state;
            if (state == 1026)
                cdataStart = i + 1;
            state = state == 1026 ? 1027 : state == 1047 ? 1048 : state + 1;
            break;
        }
        }
    }

    if (current == nullptr)
        return 0;
    return current->m_pParent == nullptr ? 1 : kParseUnclosed;
}
