// Replacing a file safely on Windows, and copying one to a new name: the
// new content goes to a new file beside it that is moved into place only
// when it is complete and durable.
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/files/named_file.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

// Fails with the step, the file and the reason (the system's words for
// code when none is given) in error's text.
bool Fail(SystemError* error, const char* step, const std::wstring& object, DWORD code, const std::string& reason = {})
{
    SetSystemError(error, static_cast<int>(code));
    if (error != nullptr)
        error->text = std::string(step) + " " + ToUtf8(FromWide(object)) + ": " +
                      (reason.empty() ? SystemErrorWords(static_cast<int>(code)) : reason);
    return false;
}

// A new file's handle and name: the file goes when this does, unless it
// was moved into place or handed on.
struct NewFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring name;
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        if (!name.empty())
            ::DeleteFileW(name.c_str());
    }
};

// Closes a handle when it goes.
struct HandleGuard {
    HANDLE handle;
    HANDLE get() const { return handle; }
    void Close()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        handle = INVALID_HANDLE_VALUE;
    }
    ~HandleGuard() { Close(); }
};

// Replaces *path by the file it finally names, links followed; keeps it
// when that cannot be had.
void ToFinalPath(HANDLE handle, std::wstring* path)
{
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
}

// Gives the new file the access rules of the one it replaces.
bool CopyAccessRules(HANDLE from, HANDLE to, DWORD* code)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    *code = ::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor);
    if (*code == ERROR_SUCCESS && dacl != nullptr)
        *code = ::SetSecurityInfo(to, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr);
    if (descriptor != nullptr)
        ::LocalFree(descriptor);
    return *code == ERROR_SUCCESS;
}

// Removes the new files that earlier saves to target left when they were
// ended midway (target + ".new-" + digits). A file that a save still writes
// is held and stays: it is opened only without sharing, and then removed
// as its handle closes.
void RemoveLeftNewFiles(const std::wstring& target)
{
    const std::wstring pattern = target + L".new-*";
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : target.substr(0, slash + 1);
    const std::wstring ours = target.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".new-";
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name = found.cFileName;
        const std::wstring_view tail = name.substr(std::min(name.size(), ours.size()));
        if (!name.starts_with(ours) || tail.empty() || tail.find_first_not_of(L"0123456789") != tail.npos ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        const HANDLE left = ::CreateFileW((folder + found.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (left != INVALID_HANDLE_VALUE)
            ::CloseHandle(left);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// A new file beside target; its name is target with a random tail. Others
// may read it but not write it or open it shared (as a document's load
// does), and renaming is allowed so that it can be moved into place.
bool CreateBeside(const std::wstring& target, NewFile* file, DWORD* code)
{
    std::random_device random;
    *code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 16 && *code == ERROR_FILE_EXISTS; ++attempt) {
        // Named before it is made, so that nothing can fail between.
        file->name = target + L".new-" + std::to_wstring(random() % 1000000000u);
        file->handle = ::CreateFileW(file->name.c_str(), GENERIC_READ | GENERIC_WRITE | WRITE_DAC,
                                     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr);
        if (file->handle != INVALID_HANDLE_VALUE)
            return true;
        *code = ::GetLastError();
        file->name.clear();  // not ours
    }
    return false;
}

}  // namespace

bool NamedFile::Replace(const std::string& path, std::string_view content, SystemError* error)
{
    std::wstring target = WidePath(path);
    if (target.empty())
        return Fail(error, "save", L"(a name that is not valid UTF-8)", ERROR_INVALID_NAME);
    // An existing file must be a file; a settings file reached through a
    // link is replaced where it really is, so that the link stays.
    HandleGuard old{::CreateFileW(target.c_str(), READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    const bool exists = old.get() != INVALID_HANDLE_VALUE;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(old.get(), &info))
            return Fail(error, "save", target, ::GetLastError());
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ::GetFileType(old.get()) != FILE_TYPE_DISK)
            return Fail(error, "save", target, 0, "not a regular file");
        ToFinalPath(old.get(), &target);
        // Asked here: the move does not refuse everywhere (Wine's replaces a
        // read-only file).
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
            return Fail(error, "save", target, ERROR_ACCESS_DENIED, "the file is read-only; it is kept as it is");
    }
    RemoveLeftNewFiles(target);
    NewFile file;
    DWORD code = 0;
    if (!CreateBeside(target, &file, &code))
        return Fail(error, "create", target + L".new-*", code);
    if (exists && !CopyAccessRules(old.get(), file.handle, &code))
        return Fail(error, "copy the access rules of", target, code);
    old.Close();  // it would keep the move from replacing the file
    SystemError cause;
    if (!WriteAll(reinterpret_cast<std::intptr_t>(file.handle), content.data(), content.size(), &cause))
        return Fail(error, "write", file.name, static_cast<DWORD>(cause.code));
    if (!::FlushFileBuffers(file.handle))
        return Fail(error, "flush", file.name, ::GetLastError());
    // Our handle allows the move; after it the handle holds the file in its
    // new place, and nobody else may write it until Close.
    if (!::MoveFileExW(file.name.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Fail(error, "move the new content into", target, ::GetLastError());
    file.name.clear();
    Close(nullptr);
    m_handle = reinterpret_cast<std::intptr_t>(std::exchange(file.handle, INVALID_HANDLE_VALUE));
    m_append = false;
    return true;
}

bool CopyToNewFile(const std::string& from, const std::string& to, SystemError* error)
{
    // Copied under another name first, so that to appears complete or not
    // at all; the move replaces nothing.
    const std::wstring source = WidePath(from);
    const std::wstring target = WidePath(to);
    if (source.empty() || target.empty()) {
        SetSystemError(error, ERROR_INVALID_NAME);
        return false;
    }
    NewFile file;
    file.name = target + L".new";
    if (!::CopyFileW(source.c_str(), file.name.c_str(), TRUE)) {
        const DWORD code = ::GetLastError();
        file.name.clear();  // someone else's, or nothing
        SetSystemError(error, static_cast<int>(code));
        return false;
    }
    if (!::MoveFileExW(file.name.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        SetSystemError(error, static_cast<int>(::GetLastError()));
        return false;
    }
    file.name.clear();
    return true;
}

}  // namespace pyrrow::platform
