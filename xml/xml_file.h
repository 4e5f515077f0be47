// CMyXMLFile: one XML document bound to a file. It owns the element tree
// (the root held inside the document), the file's content as UTF-16 text and
// a cursor through which the settings code walks and extends the tree.
// Load reads a file, Parse builds the tree from it, Save writes the tree.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files/named_file.h"
#include "xml/dyn_wstring.h"
#include "xml/my_object.h"
#include "xml/tag.h"

// Directions of CMyXMLFile::Navigate.
constexpr std::uint32_t XN_ROOT = 0x0001;
constexpr std::uint32_t XN_CHILD = 0x0010;
constexpr std::uint32_t XN_NEXT = 0x0100;
constexpr std::uint32_t XN_RESERVED = 0x0200;  // accepted, always fails
constexpr std::uint32_t XN_PARENT = 0x1000;

class CMyXMLFile : public CMyObject {
public:
    // Results of Parse besides 1 (complete) and 0 (no element).
    static constexpr int kParseUnclosed = -12345;
    // A CDATA section before the first element has no element to go to.
    static constexpr int kParseCDataOutsideElement = -1027;
    // An element could not be created: memory ran out.
    static constexpr int kParseOutOfMemory = -9999;

    CMyXMLFile() = default;
    ~CMyXMLFile() override;

    // Empties the tree and reads the whole file into m_strContent; a missing
    // file is created empty. 1 on success; 0 for a null path, a file that
    // cannot be opened, is empty, too large or cannot be read in full. Load
    // and Save tell a failure of the file on standard error, as
    // "file: open /x/s.xml: Is a directory", and throw nothing.
    int Load(const char16_t* path);
    // Builds the tree below m_root from m_strContent: 1 complete, 0 no
    // element, kParseUnclosed, or the negative code of a syntax error.
    int Parse();
    // Writes the tree into path, replacing the old file only once the new
    // content is complete and durable. 1 on success, else 0 (the old file is
    // then untouched). The file stays open and held until the next Load or
    // Save or the destructor.
    int Save(const char16_t* path);

    // Moves the cursor; 1 when it moved.
    int Navigate(std::uint32_t code);
    // Moves the cursor into a new (or unnamed) first child named name.
    int AddChildElement(const char16_t* name);
    // Moves the cursor to the child of its parent named name, or appends one
    // after the cursor. 0 with the cursor on the root (it has no siblings).
    int FindOrAddSibling(const char16_t* name);

    // Open only while Load reads and, after a Save, holding the saved file.
    pyrrow::platform::NamedFile m_hFile;
    std::uint32_t m_nFileSize = 0;
    CDynWString m_strContent;
    CDynWString m_strToken;
    CDynWString m_strAttrName;
    CDynWString m_strFileName;
    CMyTag m_root;
    CMyTag* m_pCurrent = nullptr;
    // Where the last Parse stopped: the index in m_strContent of the code
    // unit that ended it with an error, else the content's length.
    std::int32_t m_nParseStop = 0;

private:
    int ReadContent(const std::string& name);
    void CloseFile();
    void ResetRoot();
    void StoreAttribute(CMyTag* element);

    // Appends start, everything below it and its following siblings to
    // text, as the file's bytes. False when an allocation failed (the text
    // is then incomplete and must not be kept); std::string's own throws.
    static bool WriteTree(std::string* text, CMyTag* start);
};
