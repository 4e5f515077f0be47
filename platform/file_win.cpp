#include <windows.h>
#include <aclapi.h>

#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "platform/file.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

struct OpenFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Set for a replacement: where the content goes and where it is written first.
    std::wstring target;
    std::wstring temporary;
    bool committed = false;
    bool failed = false;  // a write failed or was short
    // Buffered output of a replacement; without it, writes go straight out.
    std::unique_ptr<char[]> buffer;
    std::size_t pending = 0;
};

namespace {

constexpr std::size_t kWriteBuffer = 64 * 1024;
constexpr const char* kArea = "file";

std::u16string Named(const std::wstring& path)
{
    return FromWide(path);
}

bool ToSystemPath(const char16_t* path, std::wstring* out)
{
    if (path == nullptr || path[0] == 0)
        return false;
    for (const char16_t* p = path; *p != 0; ++p) {
        // A lone surrogate names no file.
        const bool high = *p >= 0xD800 && *p <= 0xDBFF;
        const bool low = *p >= 0xDC00 && *p <= 0xDFFF;
        if (low || (high && !(p[1] >= 0xDC00 && p[1] <= 0xDFFF)))
            return false;
        if (high)
            out->push_back(static_cast<wchar_t>(*p++));
        out->push_back(static_cast<wchar_t>(*p));
    }
    return true;
}

bool WriteAll(OpenFile* f, const char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(f->handle, data, chunk, &written, nullptr)) {
            ReportSystemError(kArea, "write", Named(f->temporary.empty() ? f->target : f->temporary), ::GetLastError());
            return false;
        }
        if (written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool Flush(OpenFile* f)
{
    if (f->pending > 0) {
        if (!WriteAll(f, f->buffer.get(), f->pending))
            f->failed = true;
        f->pending = 0;
    }
    return !f->failed;
}

// A handle for an open file that is a file on a disk (not a console, a
// pipe or a device such as COM1 or NUL); otherwise it is closed and the
// result is null.
FileHandle AdoptDiskFile(HANDLE handle, const std::wstring& path)
{
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    OpenFile* f = nullptr;
    if (::GetFileType(handle) != FILE_TYPE_DISK || (f = new (std::nothrow) OpenFile) == nullptr) {
        ::CloseHandle(handle);
        return nullptr;
    }
    f->handle = handle;
    f->target = path;
    return f;
}

// The file a path finally names, links followed; the path itself when it
// cannot be had.
std::wstring FinalPath(HANDLE handle, const std::wstring& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size())
        return path;
    buffer.resize(length);
    return buffer;
}

// Gives the new file the access rules of the one it replaces.
void CopyAccessRules(HANDLE from, HANDLE to, const std::wstring& target)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = ::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                    &descriptor);
    if (error == ERROR_SUCCESS && dacl != nullptr)
        error = ::SetSecurityInfo(to, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    if (error != ERROR_SUCCESS)
        ReportSystemError(kArea, "copy the access rules of", Named(target), error);
    if (descriptor != nullptr)
        ::LocalFree(descriptor);
}

// A new file beside target; its name is target with a random tail. Others
// may read it but not write it or open it shared (as a document's load
// does), and renaming is allowed so that it can be moved into place.
HANDLE CreateBeside(const std::wstring& target, std::wstring* name)
{
    DWORD error = ERROR_FILE_EXISTS;
    try {
        std::random_device random;
        for (int attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
            *name = target + L".new-" + std::to_wstring(random() % 1000000000u);
            const HANDLE h = ::CreateFileW(name->c_str(), GENERIC_READ | GENERIC_WRITE | WRITE_DAC,
                                           FILE_SHARE_READ | FILE_SHARE_DELETE,
                                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE)
                return h;
            error = ::GetLastError();
        }
    } catch (const std::exception&) {
        return INVALID_HANDLE_VALUE;  // no random source or no memory: no file
    }
    ReportSystemError(kArea, "create", Named(*name), error);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

FileHandle OpenOrCreateShared(const char16_t* path)
{
    std::wstring name;
    if (!ToSystemPath(path, &name))
        return nullptr;
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = ::GetLastError();
    if (h == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED) {
        // A file that may only be read (or a folder, which this refuses too).
        h = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        error = ::GetLastError();
    }
    if (h == INVALID_HANDLE_VALUE)
        ReportSystemError(kArea, "open", Named(name), error);
    return AdoptDiskFile(h, name);
}

FileHandle BeginReplacement(const char16_t* path)
{
    auto* f = new (std::nothrow) OpenFile;
    if (f == nullptr)
        return nullptr;
    if (!ToSystemPath(path, &f->target)) {
        delete f;
        return nullptr;
    }
    // An existing file must be a file; a settings file reached through a
    // link is replaced where it really is, so that the link stays.
    HANDLE old = ::CreateFileW(f->target.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (old != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(old, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            ::GetFileType(old) != FILE_TYPE_DISK) {
            ::CloseHandle(old);
            delete f;
            return nullptr;
        }
        f->target = FinalPath(old, f->target);
    }
    f->handle = CreateBeside(f->target, &f->temporary);
    if (f->handle == INVALID_HANDLE_VALUE) {
        if (old != INVALID_HANDLE_VALUE)
            ::CloseHandle(old);
        delete f;
        return nullptr;
    }
    if (old != INVALID_HANDLE_VALUE) {
        CopyAccessRules(old, f->handle, f->target);
        ::CloseHandle(old);
    }
    f->buffer.reset(new (std::nothrow) char[kWriteBuffer]);
    return f;
}

bool CommitReplacement(FileHandle f, bool writeComplete)
{
    if (f == nullptr || f->temporary.empty() || f->committed)
        return false;
    bool written = Flush(f) && writeComplete;
    if (written && !::FlushFileBuffers(f->handle)) {
        ReportSystemError(kArea, "flush", Named(f->temporary), ::GetLastError());
        written = false;
    }
    // Our handle allows the move; after it the handle holds the file in its
    // new place, and nobody else may write it until CloseFile.
    if (written && !::MoveFileExW(f->temporary.c_str(), f->target.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ReportSystemError(kArea, "move the new content into", Named(f->target), ::GetLastError());
        written = false;
    }
    if (!written) {
        // Removed when the handle closes.
        ::DeleteFileW(f->temporary.c_str());
        f->temporary.clear();
        return false;
    }
    f->committed = true;
    return true;
}

bool GetFileSize(FileHandle f, std::uint64_t* size)
{
    LARGE_INTEGER bytes{};
    if (f == nullptr)
        return false;
    if (!::GetFileSizeEx(f->handle, &bytes)) {
        ReportSystemError(kArea, "measure", Named(f->target), ::GetLastError());
        return false;
    }
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

FileHandle OpenExclusiveForReading(const char16_t* path, SystemError* error)
{
    std::wstring name;
    if (!ToSystemPath(path, &name)) {
        SetErrorText(error, SystemError::Kind::NotFound, "no such file can be named");
        return nullptr;
    }
    // No sharing: a file another program has open fails, and nobody else
    // opens it meanwhile.
    const HANDLE h =
        ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (error != nullptr)
            SetSystemError(error, static_cast<int>(code));
        else
            ReportSystemError(kArea, "open", Named(name), code);
    }
    return AdoptDiskFile(h, name);
}

bool ReadFromStart(FileHandle f, void* buffer, std::size_t size, std::size_t* read)
{
    *read = 0;
    if (f == nullptr)
        return false;
    if (!::SetFilePointerEx(f->handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        ReportSystemError(kArea, "rewind", Named(f->target), ::GetLastError());
        return false;
    }
    return ReadNext(f, buffer, size, read);
}

bool ReadNext(FileHandle f, void* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    *read = 0;
    if (f == nullptr)
        return false;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        const std::size_t left = size - *read;
        const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD n = 0;
        if (!::ReadFile(f->handle, out + *read, chunk, &n, nullptr)) {
            const DWORD code = ::GetLastError();
            if (error != nullptr)
                SetSystemError(error, static_cast<int>(code));
            else
                ReportSystemError(kArea, "read", Named(f->target), code);
            return false;
        }
        if (n == 0)
            break;
        *read += n;
    }
    return true;
}

bool WriteFile(FileHandle f, const void* data, std::size_t size)
{
    if (f == nullptr)
        return false;
    if (f->temporary.empty() || f->committed) {
        if (!WriteAll(f, static_cast<const char*>(data), size))
            f->failed = true;
        return !f->failed;
    }
    if (f->pending + size > kWriteBuffer && !Flush(f))
        return false;
    if (f->buffer == nullptr || size >= kWriteBuffer) {
        if (!WriteAll(f, static_cast<const char*>(data), size))
            f->failed = true;
        return !f->failed;
    }
    std::memcpy(f->buffer.get() + f->pending, data, size);
    f->pending += size;
    return true;
}

void CloseFile(FileHandle f)
{
    if (f == nullptr)
        return;
    ::CloseHandle(f->handle);
    if (!f->temporary.empty() && !f->committed)
        ::DeleteFileW(f->temporary.c_str());
    delete f;
}

}  // namespace pyrrow::platform
