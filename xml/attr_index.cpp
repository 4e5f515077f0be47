#include "xml/attr_index.h"

#include <new>

#include "xml/simple_tag.h"

namespace {

constexpr std::uint32_t kFirstSize = 64;

std::uint32_t Hash(const char16_t* s)
{
    std::uint32_t h = 2166136261u;  // FNV-1a over the code units
    for (; *s != 0; ++s) {
        h ^= *s;
        h *= 16777619u;
    }
    return h;
}

}  // namespace

AttrIndex::~AttrIndex()
{
    Clear();
}

void AttrIndex::Clear()
{
    delete[] m_table;
    m_table = nullptr;
    m_size = 0;
    m_count = 0;
}

AttrIndex::Slot AttrIndex::Find(const char16_t* name) const
{
    if (m_table == nullptr)
        return {nullptr, 0};
    const std::uint32_t hash = Hash(name);
    for (std::uint32_t i = hash & (m_size - 1);; i = (i + 1) & (m_size - 1)) {
        const Entry& e = m_table[i];
        if (e.block == nullptr)
            return {nullptr, 0};
        if (e.hash == hash && e.block->names[e.index].Compare(name) == 0)
            return {e.block, e.index};
    }
}

bool AttrIndex::Grow()
{
    if (m_size > UINT32_MAX / 4)
        return false;
    const std::uint32_t size = m_size == 0 ? kFirstSize : 2 * m_size;
    auto* table = new (std::nothrow) Entry[size]{};
    if (table == nullptr)
        return false;
    for (std::uint32_t k = 0; k < m_size; ++k) {
        if (m_table[k].block == nullptr)
            continue;
        std::uint32_t i = m_table[k].hash & (size - 1);
        while (table[i].block != nullptr)
            i = (i + 1) & (size - 1);
        table[i] = m_table[k];
    }
    delete[] m_table;
    m_table = table;
    m_size = size;
    return true;
}

bool AttrIndex::Add(AttrBlock* block, int index)
{
    if (2 * (m_count + 1) > m_size && !Grow()) {
        Clear();
        return false;
    }
    const char16_t* name = block->names[index].GetString();
    const std::uint32_t hash = Hash(name);
    std::uint32_t i = hash & (m_size - 1);
    for (; m_table[i].block != nullptr; i = (i + 1) & (m_size - 1)) {
        const Entry& e = m_table[i];
        if (e.hash == hash && e.block->names[e.index].Compare(name) == 0)
            return true;
    }
    m_table[i] = {block, index, hash};
    ++m_count;
    return true;
}
