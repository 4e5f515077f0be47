#include <windows.h>

#include "cli/named_file.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::cli {
namespace {

HANDLE Handle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

bool Fail(std::string* reason)
{
    *reason = platform::SystemErrorText(::GetLastError());
    return false;
}

// Others may read (several runs on one image) and nobody else waits on us.
std::intptr_t Open(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    const auto wide = platform::Utf8ToUtf16(path);
    if (!wide) {
        ::SetLastError(ERROR_INVALID_NAME);
        return -1;
    }
    const HANDLE h = ::CreateFileW(platform::ToWide(*wide).c_str(), access, share, nullptr, disposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
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
            files.push_back({info.dwVolumeSerialNumber,
                             (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true});
    }
    return files;
}

NamedFile::~NamedFile()
{
    if (m_handle != kNone)
        ::CloseHandle(Handle(m_handle));
}

bool NamedFile::OpenToRead(const std::string& path, std::string* reason)
{
    m_handle = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    return m_handle != kNone || Fail(reason);
}

bool NamedFile::CreateNew(const std::string& path, bool* exists, std::string* reason)
{
    m_handle = Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW);
    const DWORD code = ::GetLastError();
    *exists = m_handle == kNone && (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS);
    return m_handle != kNone || Fail(reason);
}

bool NamedFile::OpenToRewrite(const std::string& path, std::string* reason)
{
    m_handle = Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    return m_handle != kNone || Fail(reason);
}

bool NamedFile::Facts(FileFacts* facts, std::string* reason) const
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(Handle(m_handle)) != FILE_TYPE_DISK) {
        facts->regular = false;
        return true;
    }
    if (!::GetFileInformationByHandle(Handle(m_handle), &info))
        return Fail(reason);
    facts->regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    facts->readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts->identity = {info.dwVolumeSerialNumber,
                       (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    return true;
}

bool NamedFile::Read(void* buffer, std::size_t size, std::size_t* read, std::string* reason)
{
    DWORD n = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!::ReadFile(Handle(m_handle), buffer, chunk, &n, nullptr))
        return Fail(reason);
    *read = n;
    return true;
}

bool NamedFile::Write(const void* data, std::size_t size, std::string* reason)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD n = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!::WriteFile(Handle(m_handle), bytes, chunk, &n, nullptr))
            return Fail(reason);
        if (n == 0) {
            *reason = platform::SystemErrorText(ERROR_DISK_FULL);
            return false;
        }
        bytes += n;
        size -= n;
    }
    return true;
}

bool NamedFile::Truncate(std::uint64_t size, std::string* reason)
{
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(Handle(m_handle), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(Handle(m_handle)))
        return Fail(reason);
    return true;
}

}  // namespace pyrrow::cli
