// CDynWString: the program's growable, heap-owned, zero-terminated UTF-16
// string. Every operation reports failure by its result and never throws;
// the buffer grows by doubling (capacity max(2 x need, 16)) and never shrinks
// except through Free.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "xml/my_object.h"

class CDynWString : public CMyObject {
public:
    CDynWString() = default;
    ~CDynWString() override;

    // The text, or null while the string has no buffer.
    const char16_t* GetString() const { return m_pszText; }
    // Capacity in characters, not counting the terminator; 0 without buffer.
    std::int32_t GetCapacity() const { return m_nCapacity; }
    // Characters up to the terminator; 0 without buffer.
    std::int32_t GetLength() const { return m_nLength; }

    // Empties the text, keeping the buffer.
    void Empty();
    // Releases the buffer.
    void Free();

    // Room for at least n characters; the text becomes empty. 0 when memory
    // ran out: the string then has no buffer.
    int Alloc(std::int32_t n);
    // Copies s (null gives an empty text). s may point into this string.
    int Set(const char16_t* s);
    // Copies the first n characters of s; 0 when s is null, n is negative or
    // s is shorter than n.
    int SetN(const char16_t* s, std::int32_t n);

    // Appending keeps the old text when memory runs out. s may point into
    // this string.
    int Append(const char16_t* s);
    int AppendN(const char16_t* s, std::int32_t n);
    int AppendChar(char16_t c);

    // Replaces the first occurrence of p at or after index start by r.
    // 1 replaced, 0 not found, -1 no buffer or p/r null, -2 start outside
    // the text, -3 memory ran out (text unchanged). p and r must not point
    // into this string.
    int Replace(const char16_t* p, const char16_t* r, std::int32_t start);

    // Remove leading / trailing white space; 0 without buffer.
    int TrimLeft();
    int TrimRight();

    // printf-style formatting with %s (char16_t string), %d, %u and %%;
    // replaces the text. A %s argument may be this string's own text. 0 when
    // fmt is null or memory ran out (the string then has no buffer).
    int Format(const char16_t* fmt, ...);
    int FormatV(const char16_t* fmt, va_list args);

    // -1, 0 or 1 by unsigned code units; see the class notes in the README.
    int Compare(const char16_t* s) const;

    // Direct access for code that fills the buffer itself (reading a file).
    // The length is recounted by ReleaseBuffer, which must follow the writes.
    char16_t* GetBuffer() { return m_pszText; }
    void ReleaseBuffer();

private:
    // Takes over buf (capacity cap, text of length len) and frees the old
    // buffer. Growing operations copy into the new buffer first and adopt it
    // afterwards, so a source inside the old text stays valid while copied.
    void Adopt(char16_t* buf, std::int32_t cap, std::int32_t len);
    bool Contains(const char16_t* p) const;

    char16_t* m_pszText = nullptr;
    std::int32_t m_nCapacity = 0;
    // The length is cached so that appending character by character stays
    // linear; every operation that writes the buffer refreshes it.
    std::int32_t m_nLength = 0;
};
