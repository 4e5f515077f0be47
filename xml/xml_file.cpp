#include "xml/xml_file.h"

#include <cstddef>
#include <cstdio>
#include <new>
#include <optional>
#include <string>

#include "platform/utf.h"

namespace file = pyrrow::platform;

namespace {

// Tells a failure of the file on standard error: "file: <step> <path>: <reason>".
void Tell(const char* step, const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "file: %s %s: %s\n", step, path.c_str(), reason.c_str());
}

// The path as the file service takes it; empty, and told, for one that
// names no file.
std::string FilePath(const char16_t* path, const char* step)
{
    const std::optional<std::string> name = file::Utf16ToUtf8(path);
    if (!name || name->empty())
        Tell(step, path[0] == 0 ? "(empty name)" : "(a name that is not valid UTF-16)", "no such file can be named");
    return name.value_or(std::string());
}

}  // namespace

CMyXMLFile::~CMyXMLFile()
{
    m_root.DeleteSubtree();
    CloseFile();
}

void CMyXMLFile::CloseFile()
{
    m_hFile.Close(nullptr);
    m_nFileSize = 0;
}

void CMyXMLFile::ResetRoot()
{
    m_root.ClearAttributes();
    m_root.DeleteSubtree();
    m_root.m_pParent = nullptr;
    m_root.m_strName.Empty();
    m_root.m_strLine.Empty();
}

int CMyXMLFile::Load(const char16_t* path)
{
    if (path == nullptr)
        return 0;
    CloseFile();
    m_strFileName.Empty();
    m_pCurrent = nullptr;
    m_strContent.Empty();
    ResetRoot();

    int read = 0;
    try {
        const std::string name = FilePath(path, "open");
        file::SystemError error;
        if (name.empty())
            return 0;
        if (!m_hFile.Open(name, file::NamedFile::Access::Shared, &error)) {
            Tell(error.kind == file::SystemError::Kind::NotFound ? "create" : "open", name, error.text);
            return 0;
        }
        read = ReadContent(name);
    } catch (const std::bad_alloc&) {
        std::fputs("file: open: out of memory\n", stderr);
        m_strContent.Empty();
        read = 0;
    }
    if (read > 0)
        m_strFileName.Set(path);
    CloseFile();
    return read > 0 ? 1 : 0;
}

int CMyXMLFile::ReadContent(const std::string& name)
{
    file::FileFacts facts;
    file::SystemError error;
    if (!m_hFile.Facts(&facts, &error)) {
        Tell("size of", name, error.text);
        return -2;
    }
    if (facts.size == 0)
        return 0;
    // The content takes as many characters as the file has bytes, at twice
    // that capacity: beyond what 32-bit counts can hold it cannot be had.
    if (facts.size > INT32_MAX || !m_strContent.Alloc(static_cast<std::int32_t>(facts.size)))
        return -3;
    m_nFileSize = static_cast<std::uint32_t>(facts.size);

    char16_t* buffer = m_strContent.GetBuffer();
    std::size_t read = 0;
    if (!m_hFile.Read(buffer, m_nFileSize, &read, &error)) {
        Tell("read", name, error.text);
        m_strContent.Empty();
        return -4;
    }
    // The content is the first size/2 code units; an odd last byte is dropped.
    buffer[m_nFileSize / 2 + 1] = 0;
    buffer[m_nFileSize / 2] = 0;
    m_strContent.ReleaseBuffer();
    if (read != m_nFileSize) {
        m_strContent.Empty();
        m_nFileSize = 0;
        return -5;
    }
    return 1;
}

int CMyXMLFile::Save(const char16_t* path)
{
    CloseFile();
    m_strFileName.Empty();
    if (path == nullptr)
        return 0;
    try {
        const std::string name = FilePath(path, "save");
        if (name.empty())
            return 0;
        m_strFileName.Set(path);
        // The whole document is built before the file is touched.
        std::string text;
        if (!WriteTree(&text, &m_root)) {
            Tell("save", name, "out of memory for the new content; the file is kept as it was");
            return 0;
        }
        file::SystemError error;
        if (!m_hFile.Replace(name, text, &error)) {
            std::fprintf(stderr, "file: %s\n", error.text.c_str());
            return 0;
        }
    } catch (const std::bad_alloc&) {
        std::fputs("file: save: out of memory; the file is kept as it was\n", stderr);
        return 0;
    }
    return 1;
}

int CMyXMLFile::Navigate(std::uint32_t code)
{
    if (code == XN_ROOT) {
        m_pCurrent = &m_root;
        return 1;
    }
    if (m_pCurrent == nullptr)
        return 0;
    CMyTag* target = nullptr;
    switch (code) {
    case XN_CHILD: target = m_pCurrent->m_pChild; break;
    case XN_NEXT: target = m_pCurrent->m_pNext; break;
    case XN_PARENT: target = m_pCurrent->m_pParent; break;
    default: return 0;
    }
    if (target == nullptr)
        return 0;
    m_pCurrent = target;
    return 1;
}

int CMyXMLFile::AddChildElement(const char16_t* name)
{
    if (m_pCurrent == nullptr || name == nullptr)
        return 0;
    if (CMyTag* child = m_pCurrent->m_pChild) {
        if (child->GetName() != nullptr || !child->SetName(name))
            return 0;
        m_pCurrent = child;
        return 1;
    }
    CMyTag* child = m_pCurrent->GetOrAddChild();
    if (child == nullptr)
        return 0;
    m_pCurrent = child;
    m_pCurrent->SetName(name);
    return 1;
}

int CMyXMLFile::FindOrAddSibling(const char16_t* name)
{
    if (m_pCurrent == nullptr || name == nullptr || m_pCurrent->m_pParent == nullptr)
        return 0;
    for (CMyTag* e = m_pCurrent->m_pParent->m_pChild; e != nullptr; e = e->m_pNext) {
        if (e->GetName() != nullptr && e->m_strName.Compare(name) == 0) {
            m_pCurrent = e;
            return 1;
        }
    }
    CMyTag* next = m_pCurrent->GetOrAddNext();
    if (next == nullptr)
        return 0;
    next->SetName(name);
    m_pCurrent = next;
    return 1;
}
