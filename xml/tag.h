// CMyTag: an element placed in a tree by a parent link and a singly linked
// list of children (first child, next sibling). An element owns only itself:
// the elements below and after it are released by DeleteSubtree.
#pragma once

#include "xml/simple_tag.h"

class CMyTag : public CMySimpleTag {
public:
    explicit CMyTag(CMyTag* parent = nullptr) : m_pParent(parent) {}

    // The first child, created with this element as parent when there is
    // none; null when memory ran out.
    CMyTag* GetOrAddChild();
    // The next sibling, created with this element's parent when there is
    // none; null when memory ran out.
    CMyTag* GetOrAddNext();
    // Deletes every element reachable from the first child and the next
    // sibling, without recursion; this element stays, with both links null.
    void DeleteSubtree();

    CMyTag* m_pParent;
    CMyTag* m_pChild = nullptr;
    CMyTag* m_pNext = nullptr;
    // Scratch text in which the writer assembles this element's output; it
    // keeps the last piece written until the element goes.
    CDynWString m_strLine;
};
