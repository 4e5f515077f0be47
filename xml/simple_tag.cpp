#include "xml/simple_tag.h"

#include <new>

#include "xml/notice.h"

namespace {

bool IsEmpty(const CDynWString& s)
{
    return s.GetString() == nullptr || s.GetCapacity() == 0 || s.GetLength() == 0;
}

}  // namespace

CMySimpleTag::~CMySimpleTag()
{
    ClearAttributes();
}

const char16_t* CMySimpleTag::GetName() const
{
    return IsEmpty(m_strName) ? nullptr : m_strName.GetString();
}

int CMySimpleTag::SetName(const char16_t* name)
{
    if (name == nullptr || name[0] == 0)
        return 0;
    if (!IsEmpty(m_strName)) {
        pyrrow::ShowNotice(pyrrow::NoticeName(name).Text(), pyrrow::NoticeName(m_strName.GetString()).Text());
        return 0;
    }
    return m_strName.Set(name);
}

void CMySimpleTag::SetTextN(const char16_t* s, std::int32_t n)
{
    m_strText.Alloc(m_strText.GetLength() + n);
    m_strText.AppendN(s, n);
}

void CMySimpleTag::AppendTextChar(char16_t c)
{
    if (IsEmpty(m_strText))
        m_strText.Alloc(64);
    m_strText.AppendChar(c);
}

AttrIndex::Slot CMySimpleTag::FindSlot(const char16_t* name) const
{
    // An empty name matches a slot whose name is empty but has a buffer,
    // which the index does not record.
    if (m_index.Built() && name[0] != 0)
        return m_index.Find(name);
    for (const AttrBlock* b = &m_attrs; b != nullptr; b = b->next)
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (b->names[i].Compare(name) == 0)
                return {const_cast<AttrBlock*>(b), i};
    return {nullptr, 0};
}

void CMySimpleTag::RecordNamedSlot(AttrBlock* block, int index)
{
    // Below this many attributes a walk of the blocks is as quick, and the
    // elements of a settings file never need the table.
    constexpr std::int32_t kIndexFrom = 16;
    ++m_nNamedSlots;
    if (m_index.Built()) {
        m_index.Add(block, index);
        return;
    }
    if (m_nNamedSlots < kIndexFrom)
        return;
    // Without memory for the table the blocks are searched; the next
    // attribute tries again.
    for (AttrBlock* b = &m_attrs; b != nullptr; b = b->next)
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (!IsEmpty(b->names[i]) && !m_index.Add(b, i))
                return;
}

const char16_t* CMySimpleTag::GetAttribute(const char16_t* name) const
{
    if (name == nullptr)
        return nullptr;
    const AttrIndex::Slot slot = FindSlot(name);
    return slot.block != nullptr ? slot.block->values[slot.index].GetString() : nullptr;
}

int CMySimpleTag::SetAttribute(const char16_t* name, const char16_t* value)
{
    if (name == nullptr || name[0] == 0 || value == nullptr)
        return 0;
    const AttrIndex::Slot slot = FindSlot(name);
    if (slot.block != nullptr)
        return slot.block->values[slot.index].Set(value);
    return AddAttribute(name, value);
}

int CMySimpleTag::AddAttribute(const char16_t* name, const char16_t* value)
{
    if (name == nullptr || value == nullptr)
        return 0;
    AttrBlock* b = m_pFreeBlock;
    int i = m_nFreeSlot;
    while (i == AttrBlock::kSlots || !IsEmpty(b->names[i])) {
        if (i < AttrBlock::kSlots) {
            ++i;
            continue;
        }
        if (b->next == nullptr) {
            auto* block = new (std::nothrow) AttrBlock;
            if (block == nullptr)
                return 0;
            b->next = block;
        }
        b = b->next;
        i = 0;
    }
    m_pFreeBlock = b;
    m_nFreeSlot = i;
    if (!b->names[i].Set(name))
        return 0;
    if (!IsEmpty(b->names[i])) {
        m_nFreeSlot = i + 1;
        RecordNamedSlot(b, i);
    }
    return b->values[i].Set(value) ? 1 : 0;
}

void CMySimpleTag::ClearAttributes()
{
    m_index.Clear();
    AttrBlock* b = m_attrs.next;
    while (b != nullptr) {
        AttrBlock* next = b->next;
        delete b;
        b = next;
    }
    m_attrs.next = nullptr;
    for (int i = 0; i < AttrBlock::kSlots; ++i) {
        m_attrs.names[i].Empty();
        m_attrs.values[i].Empty();
    }
    m_pFreeBlock = &m_attrs;
    m_nFreeSlot = 0;
    m_nNamedSlots = 0;
}
