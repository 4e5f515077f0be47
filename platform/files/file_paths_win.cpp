// Files by their names on Windows: whether this user may write there,
// making folders and moving a file aside; the separators and which names
// can be files.
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/files/named_file.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::size_t LastPathSeparator(const std::u16string& path)
{
    return path.find_last_of(u"\\/");
}

char16_t PathSeparator()
{
    return u'\\';
}

std::string PathUnfitForFiles(const std::u16string& path)
{
    // MAX_PATH counts the terminating null.
    if (path.size() < MAX_PATH)
        return {};
    return "is " + std::to_string(path.size()) + " characters long, past MAX_PATH (" + std::to_string(MAX_PATH - 1) +
           ")";
}

bool CanWrite(const std::string& path)
{
    const std::wstring name = WidePath(path);
    const DWORD attributes = name.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        // The one sure answer is a file made there, and gone again at once.
        wchar_t probe[MAX_PATH + 16];
        if (::GetTempFileNameW(name.c_str(), L"pyr", 0, probe) == 0)
            return false;
        ::DeleteFileW(probe);
        return true;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return false;
    const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(h);
    return true;
}

bool CreateFolders(const std::string& path, SystemError* error)
{
    const std::wstring name = WidePath(path);
    if (name.empty()) {
        SetSystemError(error, ERROR_INVALID_NAME);
        return false;
    }
    std::error_code failure;
    std::filesystem::create_directories(std::filesystem::path(name), failure);
    if (IsFolder(name))
        return true;
    if (failure)
        SetSystemError(error, failure.value());
    else
        SetErrorText(error, SystemError::Kind::Exists, "something else is in its place");
    return false;
}

bool MoveAside(const std::string& path, const std::string& suffix, std::string* movedTo, SystemError* error)
{
    const std::wstring name = WidePath(path);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string aside = path + suffix + (attempt == 0 ? std::string() : "." + std::to_string(attempt));
        if (::MoveFileExW(name.c_str(), WidePath(aside).c_str(), 0)) {
            *movedTo = aside;
            return true;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
            SetSystemError(error, static_cast<int>(code));
            return false;
        }
    }
    SetErrorText(error, SystemError::Kind::Exists, "every name from " + path + suffix + " on is taken");
    return false;
}

}  // namespace pyrrow::platform
