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
        pyrrow::ShowNotice(name, m_strName.GetString());
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

const char16_t* CMySimpleTag::GetAttribute(const char16_t* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const AttrBlock* b = &m_attrs; b != nullptr; b = b->next)
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (b->names[i].Compare(name) == 0)
                return b->values[i].GetString();
    return nullptr;
}

int CMySimpleTag::SetAttribute(const char16_t* name, const char16_t* value)
{
    if (name == nullptr || name[0] == 0 || value == nullptr)
        return 0;
    for (AttrBlock* b = &m_attrs; b != nullptr; b = b->next)
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (b->names[i].Compare(name) == 0)
                return b->values[i].Set(value);
    return AddAttribute(name, value);
}

int CMySimpleTag::AddAttribute(const char16_t* name, const char16_t* value)
{
    if (name == nullptr || value == nullptr)
        return 0;
    AttrBlock* last = &m_attrs;
    for (AttrBlock* b = &m_attrs; b != nullptr; b = b->next) {
        for (int i = 0; i < AttrBlock::kSlots; ++i)
            if (IsEmpty(b->names[i]))
                return b->names[i].Set(name) && b->values[i].Set(value) ? 1 : 0;
        last = b;
    }
    auto* block = new (std::nothrow) AttrBlock;
    if (block == nullptr)
        return 0;
    last->next = block;
    return block->names[0].Set(name) && block->values[0].Set(value) ? 1 : 0;
}

void CMySimpleTag::ClearAttributes()
{
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
}
