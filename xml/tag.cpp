#include "xml/tag.h"

#include <new>

namespace {

// Deletes t and everything reachable from it, in time linear in their
// number, with no memory and no recursion: each child link is rotated into
// a next link before its element goes.
void DeleteChain(CMyTag* t)
{
    while (t != nullptr) {
        if (CMyTag* child = t->m_pChild) {
            t->m_pChild = child->m_pNext;
            child->m_pNext = t;
            t = child;
        } else {
            CMyTag* next = t->m_pNext;
            delete t;
            t = next;
        }
    }
}

}  // namespace

CMyTag* CMyTag::GetOrAddChild()
{
    if (m_pChild == nullptr)
        m_pChild = new (std::nothrow) CMyTag(this);
    return m_pChild;
}

CMyTag* CMyTag::GetOrAddNext()
{
    if (m_pNext == nullptr)
        m_pNext = new (std::nothrow) CMyTag(m_pParent);
    return m_pNext;
}

void CMyTag::DeleteSubtree()
{
    CMyTag* child = m_pChild;
    CMyTag* next = m_pNext;
    m_pChild = nullptr;
    m_pNext = nullptr;
    DeleteChain(child);
    DeleteChain(next);
}
