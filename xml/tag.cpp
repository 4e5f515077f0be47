#include "xml/tag.h"

#include <new>

namespace {

// A piece of the first-in, first-out queue of DeleteSubtree.
struct QueueChunk {
    static constexpr int kSlots = 1024;

    CMyTag* slots[kSlots];
    int count;  // entries written
    int read;   // next entry to take
    QueueChunk* next;
};

// Deletes t and everything reachable from it with no memory at all, by
// rotating child links into next links. Used only when a queue chunk cannot
// be had, so that a shortage of memory never leaks a subtree.
void DeleteWithoutQueue(CMyTag* t)
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
    QueueChunk first{};
    QueueChunk* writing = &first;
    auto push = [&writing](CMyTag* t) {
        if (t == nullptr)
            return;
        if (writing->count == QueueChunk::kSlots) {
            auto* chunk = new (std::nothrow) QueueChunk{};
            if (chunk == nullptr) {
                DeleteWithoutQueue(t);
                return;
            }
            writing->next = chunk;
            writing = chunk;
        }
        writing->slots[writing->count++] = t;
    };

    push(m_pChild);
    push(m_pNext);
    m_pChild = nullptr;
    m_pNext = nullptr;

    QueueChunk* reading = &first;
    for (;;) {
        if (reading->read == QueueChunk::kSlots) {
            reading = reading->next;
            if (reading == nullptr)
                break;
        }
        CMyTag* e = reading->slots[reading->read];
        if (e == nullptr)
            break;
        push(e->m_pChild);
        push(e->m_pNext);
        delete e;
        ++reading->read;
    }

    for (QueueChunk* c = first.next; c != nullptr;) {
        QueueChunk* next = c->next;
        delete c;
        c = next;
    }
}
