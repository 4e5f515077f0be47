// AttrIndex: finds an element's attribute slot by name without walking its
// blocks, so that an element with very many attributes is read and extended
// in time proportional to their number. A hash table of slots, taken with
// non-throwing allocation; an element without one searches its blocks.
#pragma once

#include <cstdint>

struct AttrBlock;

class AttrIndex {
public:
    // A slot: its block and its index there; no block when nothing was found.
    struct Slot {
        AttrBlock* block;
        int index;
    };

    AttrIndex() = default;
    ~AttrIndex();
    AttrIndex(const AttrIndex&) = delete;
    AttrIndex& operator=(const AttrIndex&) = delete;

    bool Built() const { return m_table != nullptr; }
    // The slot recorded for a non-empty name, or one with no block.
    Slot Find(const char16_t* name) const;
    // Records a slot whose name has just been set. A name already recorded
    // keeps its earlier slot, as a search of the blocks in order would find
    // it. False when memory ran out: the index is then dropped.
    bool Add(AttrBlock* block, int index);
    // Drops every record and the table.
    void Clear();

private:
    // A recorded slot with the hash of its name, which spares most name
    // comparisons and every recount when the table grows.
    struct Entry {
        AttrBlock* block;
        int index;
        std::uint32_t hash;
    };

    bool Grow();

    Entry* m_table = nullptr;
    std::uint32_t m_size = 0;  // a power of two, at least twice m_count
    std::uint32_t m_count = 0;
};
