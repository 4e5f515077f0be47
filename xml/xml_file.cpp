#include "xml/xml_file.h"

#include <cstddef>

namespace file = pyrrow::platform;

CMyXMLFile::~CMyXMLFile()
{
    m_root.DeleteSubtree();
    CloseFile();
}

void CMyXMLFile::CloseFile()
{
    if (m_hFile != nullptr) {
        file::CloseFile(m_hFile);
        m_hFile = nullptr;
    }
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

    m_hFile = file::OpenOrCreateShared(path);
    if (m_hFile == nullptr)
        return 0;
    const int read = ReadContent();
    if (read > 0)
        m_strFileName.Set(path);
    CloseFile();
    return read > 0 ? 1 : 0;
}

int CMyXMLFile::ReadContent()
{
    if (m_hFile == nullptr)
        return -1;
    std::uint64_t size = 0;
    if (!file::GetFileSize(m_hFile, &size))
        return -2;
    if (size == 0)
        return 0;
    // The content takes as many characters as the file has bytes, at twice
    // that capacity: beyond what 32-bit counts can hold it cannot be had.
    if (size > INT32_MAX || !m_strContent.Alloc(static_cast<std::int32_t>(size)))
        return -3;
    m_nFileSize = static_cast<std::uint32_t>(size);

    char16_t* buffer = m_strContent.GetBuffer();
    std::size_t read = 0;
    if (!file::ReadFromStart(m_hFile, buffer, m_nFileSize, &read)) {
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
    m_hFile = file::BeginReplacement(path);
    if (m_hFile == nullptr)
        return 0;
    m_strFileName.Set(path);
    const bool complete = WriteTree(m_hFile, &m_root);
    if (!file::CommitReplacement(m_hFile, complete)) {
        CloseFile();
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
    case XN_CHILD:
        target = m_pCurrent->m_pChild;
        break;
    case XN_NEXT:
        target = m_pCurrent->m_pNext;
        break;
    case XN_PARENT:
        target = m_pCurrent->m_pParent;
        break;
    default:
        return 0;
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
