// Files by their names on Windows: whether this user may write there, a
// file's size, making folders, copying a file to a new name and moving a
// file aside.
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/file.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

constexpr const char* kArea = "file";

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

bool CanWrite(const char16_t* path)
{
    if (path == nullptr || path[0] == 0)
        return false;
    const std::wstring name = ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
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

bool GetRegularFileSize(const char16_t* path, std::uint64_t* size)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path == nullptr || !::GetFileAttributesExW(ToWide(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool CreateFolders(const char16_t* path)
{
    if (path == nullptr || path[0] == 0)
        return false;
    const std::wstring name = ToWide(path);
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(name), error);
    if (error && !IsFolder(name)) {
        ReportSystemError(kArea, "create the folder", path, static_cast<unsigned long>(error.value()));
        return false;
    }
    return IsFolder(name);
}

bool CopyToNewFile(const char16_t* from, const char16_t* to)
{
    if (from == nullptr || to == nullptr)
        return false;
    // Copied under another name first, so that to appears complete or not
    // at all; the move replaces nothing.
    const std::wstring target = ToWide(to);
    const std::wstring temporary = target + L".new";
    if (!::CopyFileW(ToWide(from).c_str(), temporary.c_str(), TRUE)) {
        ReportSystemError(kArea, "copy", from, ::GetLastError());
        return false;
    }
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(temporary.c_str());
        ReportSystemError(kArea, "copy to", to, error);
        return false;
    }
    return true;
}

bool MoveAside(const char16_t* path, const char16_t* suffix, std::u16string* movedTo)
{
    if (path == nullptr || suffix == nullptr)
        return false;
    const std::u16string base = std::u16string(path) + suffix;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string number = std::to_string(attempt);
        const std::u16string aside = attempt == 0 ? base : base + u"." + std::u16string(number.begin(), number.end());
        if (::MoveFileExW(ToWide(path).c_str(), ToWide(aside).c_str(), 0)) {
            *movedTo = aside;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            ReportSystemError(kArea, "move aside", path, error);
            return false;
        }
    }
    return false;
}

}  // namespace pyrrow::platform
