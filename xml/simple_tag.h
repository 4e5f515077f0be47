// CMySimpleTag: one XML element without tree links: a name (set once), a
// text, a CDATA mark and any number of attributes in blocks of five, the
// first block held inside the element.
#pragma once

#include <cstdint>

#include "xml/attr_index.h"
#include "xml/dyn_wstring.h"
#include "xml/my_object.h"

// Five attribute slots and the link to the next block. A slot is free while
// its name is empty. Blocks after the first are owned by their element.
struct AttrBlock {
    static constexpr int kSlots = 5;

    CDynWString names[kSlots];
    CDynWString values[kSlots];
    AttrBlock* next = nullptr;
};

class CMySimpleTag : public CMyObject {
public:
    CMySimpleTag() = default;
    ~CMySimpleTag() override;

    // The name when it is non-empty, else null.
    const char16_t* GetName() const;
    // Names an unnamed element. A second name is refused with a notice
    // (text: the new name, caption: the old one). 1 on success, else 0.
    int SetName(const char16_t* name);

    // The text; empty text gives "", null only while it has no buffer.
    const char16_t* GetText() const { return m_strText.GetString(); }
    // The text becomes the first n characters of s.
    void SetTextN(const char16_t* s, std::int32_t n);
    void AppendTextChar(char16_t c);

    // The value of the first slot with that name, or null.
    const char16_t* GetAttribute(const char16_t* name) const;
    // Replaces the value of an existing attribute or adds a new one.
    int SetAttribute(const char16_t* name, const char16_t* value);
    // Puts the pair into the first free slot, adding a block when all are
    // taken. 0 when an argument is null or memory ran out.
    int AddAttribute(const char16_t* name, const char16_t* value);
    // Frees the extra blocks and empties the first one, keeping its buffers.
    void ClearAttributes();

    CDynWString m_strName;
    CDynWString m_strText;
    std::int32_t m_bCData = 0;  // 1: the text is written as a CDATA section
    AttrBlock m_attrs;

private:
    // The slot holding name, found through the index when there is one.
    AttrIndex::Slot FindSlot(const char16_t* name) const;
    // Records a slot that has just been named, building the index once the
    // element has more attributes than a walk of its blocks handles well.
    void RecordNamedSlot(AttrBlock* block, int index);

    // Every slot before this one is taken (nothing frees a single slot), so
    // the search for a free one starts here.
    AttrBlock* m_pFreeBlock = &m_attrs;
    int m_nFreeSlot = 0;
    std::int32_t m_nNamedSlots = 0;
    AttrIndex m_index;
};
