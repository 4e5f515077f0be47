#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>

#include "platform/file.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

// Owns what it holds: destroying it closes the handle and removes a new
// file that was never moved into place, so that no failure, an exception
// included, leaves either.
struct OpenFile {
    OpenFile() = default;
    ~OpenFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        if (!temporary.empty() && !committed)
            ::DeleteFileW(temporary.c_str());
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

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

// Writes "file: action object: reason" to standard error; where memory for
// the line runs out, the code alone.
void Tell(const char* action, const std::wstring& object, DWORD code) noexcept
{
    try {
        ReportSystemError(kArea, action, FromWide(object), code);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: %s: error %lu (out of memory)\n", kArea, action, static_cast<unsigned long>(code));
    }
}

// Gives the reason to error when the caller takes it (the code alone where
// memory for the text runs out), else tells it.
void TellCause(SystemError* error, const char* action, const std::wstring& object, DWORD code) noexcept
{
    if (error == nullptr) {
        Tell(action, object, code);
        return;
    }
    try {
        SetSystemError(error, static_cast<int>(code));
    } catch (const std::bad_alloc&) {
        error->kind = SystemError::Kind::Other;
        error->code = static_cast<int>(code);
        error->text.clear();
    }
}

bool ToSystemPath(const char16_t* path, std::wstring* out) noexcept
{
    if (path == nullptr || path[0] == 0)
        return false;
    try {
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
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: a path: out of memory\n", kArea);
        return false;
    }
    return true;
}

bool WriteAll(OpenFile* f, const char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(f->handle, data, chunk, &written, nullptr)) {
            Tell("write", f->temporary.empty() ? f->target : f->temporary, ::GetLastError());
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
FileHandle AdoptDiskFile(HANDLE handle, std::wstring&& path)
{
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    OpenFile* f = nullptr;
    if (::GetFileType(handle) != FILE_TYPE_DISK || (f = new (std::nothrow) OpenFile) == nullptr) {
        ::CloseHandle(handle);
        return nullptr;
    }
    f->handle = handle;
    f->target.swap(path);
    return f;
}

// Closes a handle when it goes.
struct HandleGuard {
    HANDLE handle;
    HANDLE get() const { return handle; }
    ~HandleGuard()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};

// Replaces *path by the file it finally names, links followed; keeps it
// when that cannot be had.
void ToFinalPath(HANDLE handle, std::wstring* path)
{
    try {
        std::wstring buffer(MAX_PATH, L'\0');
        DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
        }
        if (length == 0 || length >= buffer.size())
            return;
        buffer.resize(length);
        path->swap(buffer);
    } catch (const std::bad_alloc&) {
        // The path as given serves.
    }
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
        Tell("copy the access rules of", target, error);
    if (descriptor != nullptr)
        ::LocalFree(descriptor);
}

// Removes the new files that earlier saves to target left when they were
// ended midway (target + ".new-" + digits). A file that a save still writes
// is held and stays: it is opened only without sharing, and then removed
// as its handle closes.
void RemoveLeftNewFiles(const std::wstring& target)
{
    try {
        const std::wstring pattern = target + L".new-*";
        const std::size_t slash = target.find_last_of(L"\\/");
        const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
        const std::wstring ours = target.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".new-";
        WIN32_FIND_DATAW found{};
        const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return;
        do {
            const std::wstring name = found.cFileName;
            const std::wstring tail = name.substr(std::min(name.size(), ours.size()));
            if (name.compare(0, ours.size(), ours) != 0 || tail.empty() ||
                tail.find_first_not_of(L"0123456789") != std::wstring::npos ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                continue;
            const std::wstring path = folder + name;
            const HANDLE left = ::CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (left != INVALID_HANDLE_VALUE)
                ::CloseHandle(left);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    } catch (const std::bad_alloc&) {
        // They are removed at a later save.
    }
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
        std::fprintf(stderr, "%s: create a new file: no random source or out of memory\n", kArea);
        name->clear();
        return INVALID_HANDLE_VALUE;
    }
    Tell("create", *name, error);
    name->clear();
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
        Tell("open", name, error);
    return AdoptDiskFile(h, std::move(name));
}

FileHandle BeginReplacement(const char16_t* path)
{
    std::unique_ptr<OpenFile> f(new (std::nothrow) OpenFile);
    if (f == nullptr || !ToSystemPath(path, &f->target))
        return nullptr;
    // An existing file must be a file; a settings file reached through a
    // link is replaced where it really is, so that the link stays.
    const HandleGuard old{::CreateFileW(f->target.c_str(), READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    const bool exists = old.get() != INVALID_HANDLE_VALUE;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(old.get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ::GetFileType(old.get()) != FILE_TYPE_DISK)
            return nullptr;
        ToFinalPath(old.get(), &f->target);
        // Asked here: the move at the commit does not refuse everywhere
        // (Wine's replaces a read-only file).
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
            try {
                std::fprintf(stderr, "%s: save %s: the file is read-only; it is kept as it is\n", kArea,
                             ToUtf8(FromWide(f->target)).c_str());
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "%s: save: the file is read-only; it is kept as it is\n", kArea);
            }
            return nullptr;
        }
    }
    RemoveLeftNewFiles(f->target);
    f->handle = CreateBeside(f->target, &f->temporary);
    if (f->handle == INVALID_HANDLE_VALUE)
        return nullptr;
    if (exists)
        CopyAccessRules(old.get(), f->handle, f->target);
    f->buffer.reset(new (std::nothrow) char[kWriteBuffer]);
    return f.release();
}

bool CommitReplacement(FileHandle f, bool writeComplete)
{
    if (f == nullptr || f->temporary.empty() || f->committed)
        return false;
    bool written = Flush(f) && writeComplete;
    if (written && !::FlushFileBuffers(f->handle)) {
        Tell("flush", f->temporary, ::GetLastError());
        written = false;
    }
    // Our handle allows the move; after it the handle holds the file in its
    // new place, and nobody else may write it until CloseFile.
    if (written && !::MoveFileExW(f->temporary.c_str(), f->target.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        Tell("move the new content into", f->target, ::GetLastError());
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
        Tell("measure", f->target, ::GetLastError());
        return false;
    }
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

FileHandle OpenExclusiveForReading(const char16_t* path, SystemError* error)
{
    std::wstring name;
    if (!ToSystemPath(path, &name)) {
        try {
            SetErrorText(error, SystemError::Kind::NotFound, "no such file can be named");
        } catch (const std::bad_alloc&) {
            TellCause(error, "open", name, ERROR_NOT_ENOUGH_MEMORY);
        }
        return nullptr;
    }
    // No sharing: a file another program has open fails, and nobody else
    // opens it meanwhile.
    const HANDLE h =
        ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        TellCause(error, "open", name, ::GetLastError());
    return AdoptDiskFile(h, std::move(name));
}

bool RewindFile(FileHandle f)
{
    if (::SetFilePointerEx(f->handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return true;
    Tell("rewind", f->target, ::GetLastError());
    return false;
}

bool ReadSome(FileHandle f, char* buffer, std::size_t size, std::size_t* read, SystemError* error)
{
    DWORD n = 0;
    if (!::ReadFile(f->handle, buffer, size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size), &n, nullptr)) {
        TellCause(error, "read", f->target, ::GetLastError());
        return false;
    }
    *read = n;
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
    // An uncommitted replacement, marked for removal, goes with the handle.
    delete f;
}

}  // namespace pyrrow::platform
