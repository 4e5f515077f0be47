#include "support/tree_dump.h"

#include "xml/tag.h"

namespace pyrrow::test {

std::u16string DumpTree(const CMyTag* first)
{
    std::u16string out;
    for (const CMyTag* e = first; e != nullptr; e = e->m_pNext) {
        if (e != first)
            out += u' ';
        out += e->GetName() != nullptr ? e->GetName() : u"?";
        std::u16string attrs;
        for (const AttrBlock* b = &e->m_attrs; b != nullptr; b = b->next)
            for (int i = 0; i < AttrBlock::kSlots; ++i)
                if (b->names[i].GetLength() > 0) {
                    attrs += attrs.empty() ? u"[" : u",";
                    attrs += b->names[i].GetString();
                    attrs += u'=';
                    attrs += b->values[i].GetString() != nullptr ? b->values[i].GetString() : u"<null>";
                }
        if (!attrs.empty()) {
            out += attrs;
            out += u']';
        }
        if (e->m_bCData == 1)
            out += u'!';
        // Appended piece by piece: prepending into a temporary string makes
        // g++ 12 warn falsely (-Wrestrict) in optimised builds.
        if (e->GetText() != nullptr && e->GetText()[0] != 0) {
            out += u'"';
            out += e->GetText();
            out += u'"';
        }
        if (e->m_pChild != nullptr) {
            out += u'(';
            out += DumpTree(e->m_pChild);
            out += u')';
        }
    }
    return out;
}

}  // namespace pyrrow::test
