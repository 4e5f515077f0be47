#include <windows.h>

#include "platform/files/named_file.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

HANDLE Handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool Fail(SystemError* error, DWORD code = ::GetLastError())
{
    SetSystemError(error, static_cast<int>(code));
    return false;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            true};
}

// Keeps h when it is a file on a disk (not a console, a pipe or a device
// such as COM1 or NUL); otherwise closes it and fails.
HANDLE KeepDiskFile(HANDLE h, SystemError* error)
{
    if (h == INVALID_HANDLE_VALUE) {
        Fail(error);
    } else if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        SetErrorText(error, SystemError::Kind::Other, "not a regular file");
        h = INVALID_HANDLE_VALUE;
    }
    return h;
}

// Opened, or made where nothing is; others may read and write it, but a
// replacement holds it without sharing writes, so this fails meanwhile.
HANDLE OpenOrCreateShared(const std::wstring& path, SystemError* error)
{
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        // A file that may only be read (or a folder, which this refuses too).
        h = ::CreateFileW(path.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return KeepDiskFile(h, error);
}

}  // namespace

std::vector<FileIdentity> StandardOutputFiles()
{
    std::vector<FileIdentity> files;
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = ::GetStdHandle(stream);
        BY_HANDLE_FILE_INFORMATION info{};
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
            ::GetFileInformationByHandle(handle, &info))
            files.push_back(IdentityOf(info));
    }
    return files;
}

bool FactsAt(const std::string& path, FileFacts* facts, SystemError* error)
{
    // The attributes are had without opening anything; a device (a COM
    // port) is never opened for its identity.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const std::wstring wide = WidePath(path);
    if (wide.empty())
        return Fail(error, ERROR_INVALID_NAME);
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return Fail(error);
    facts->kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileFacts::Kind::Folder
                  : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0  ? FileFacts::Kind::Other
                                                                          : FileFacts::Kind::Regular;
    facts->readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts->identity = {};
    if (facts->kind != FileFacts::Kind::Regular)
        return true;
    // Opened for no access at all: the file's identity only.
    const HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (h != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h, &info))
        facts->identity = IdentityOf(info);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    return true;
}

bool RemoveFile(const std::string& path)
{
    return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

NamedFile::~NamedFile()
{
    if (m_handle != kNone)
        ::CloseHandle(Handle(m_handle));
}

bool NamedFile::Open(const std::string& path, Access access, SystemError* error)
{
    const std::wstring wide = WidePath(path);
    if (wide.empty())
        return Fail(error, ERROR_INVALID_NAME);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (access == Access::Shared) {
        h = OpenOrCreateShared(wide, error);
    } else if (access == Access::ReadExclusive) {
        // No sharing: a file another program has open fails, and nobody
        // else opens it meanwhile.
        h = KeepDiskFile(
            ::CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr), error);
    } else {
        const DWORD rights = access == Access::Read        ? GENERIC_READ
                             : access == Access::CreateNew ? GENERIC_WRITE
                                                           : GENERIC_READ | GENERIC_WRITE;
        const DWORD disposition = access == Access::CreateNew ? CREATE_NEW
                                  : access == Access::Append  ? OPEN_ALWAYS
                                                              : OPEN_EXISTING;
        // Others may read (several runs on one image) and nobody else waits on us.
        h = ::CreateFileW(wide.c_str(), rights, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            Fail(error);
    }
    if (h == INVALID_HANDLE_VALUE)
        return false;
    if (m_handle != kNone)
        ::CloseHandle(Handle(m_handle));
    m_handle = reinterpret_cast<std::intptr_t>(h);
    m_append = access == Access::Append;
    return true;
}

bool NamedFile::Facts(FileFacts* facts, SystemError* error) const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(Handle(m_handle)) != FILE_TYPE_DISK) {
        facts->kind = FileFacts::Kind::Other;
        return true;
    }
    if (!::GetFileInformationByHandle(Handle(m_handle), &info))
        return Fail(error);
    facts->kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileFacts::Kind::Folder
                                                                          : FileFacts::Kind::Regular;
    facts->readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts->identity = IdentityOf(info);
    return true;
}

bool NamedFile::Read(void* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    *read = 0;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        DWORD n = 0;
        if (!::ReadFile(Handle(m_handle), out + *read, CallChunk(size - *read), &n, nullptr))
            return Fail(error);
        if (n == 0)
            break;
        *read += n;
    }
    return true;
}

bool NamedFile::Write(const void* data, std::size_t size, SystemError* error)
{
    if (m_append && !::SetFilePointerEx(Handle(m_handle), LARGE_INTEGER{}, nullptr, FILE_END))
        return Fail(error);
    return WriteAll(m_handle, data, size, error);
}

bool NamedFile::WriteAll(std::intptr_t handle, const void* data, std::size_t size, SystemError* error)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        if (!::WriteFile(Handle(handle), bytes, CallChunk(size), &n, nullptr))
            return Fail(error);
        if (n == 0)
            return Fail(error, ERROR_DISK_FULL);
        bytes += n;
        size -= n;
    }
    return true;
}

bool NamedFile::Truncate(std::uint64_t size, SystemError* error)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(Handle(m_handle), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(Handle(m_handle)))
        return Fail(error);
    return true;
}

bool NamedFile::Sync(SystemError* error)
{
    return ::FlushFileBuffers(Handle(m_handle)) || Fail(error);
}

bool NamedFile::Close(SystemError* error)
{
    if (m_handle == kNone)
        return true;
    return ::CloseHandle(Handle(std::exchange(m_handle, kNone))) || Fail(error);
}

}  // namespace pyrrow::platform
