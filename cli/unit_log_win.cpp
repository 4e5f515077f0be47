#include <windows.h>

#include "cli/unit_log.h"
#include "platform/utf.h"
#include "platform/windows_text.h"

namespace pyrrow::cli {
namespace {

HANDLE FileOf(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file);
}

std::string Problem(const char* what, const std::string& path, DWORD error)
{
    return std::string("--log: cannot ") + what + " " + path + ": " + platform::SystemErrorText(error);
}

}  // namespace

std::string HostName()
{
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return platform::ToUtf8(platform::FromWide(name));
}

UnitLog::~UnitLog()
{
    if (m_file != kNoFile)
        ::CloseHandle(FileOf(m_file));
}

bool UnitLog::Open(const std::string& path, std::string* problem)
{
    const std::wstring wide = platform::ToWide(platform::Utf8ToUtf16Lossy(path));
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *problem = Problem("open", path, ::GetLastError());
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        *problem = "--log: " + path + " is not a regular file on a disk";
        return false;
    }
    // Lines are only ever added; a file that is not such a log (the
    // firmware given by mistake) is left as it is.
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        *problem = Problem("look at", path, error);
        return false;
    }
    if (size.QuadPart > 0) {
        const auto byteAt = [file](LONGLONG offset, char* byte) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD read = 0;
            return ::ReadFile(file, byte, 1, &read, &at) && read == 1;
        };
        char first = 0;
        char last = 0;
        if (!byteAt(0, &first) || !byteAt(size.QuadPart - 1, &last) || !LooksLikeLog(first, last)) {
            ::CloseHandle(file);
            *problem = NotALog(path);
            return false;
        }
    }
    m_file = reinterpret_cast<std::intptr_t>(file);
    m_path = path;
    return true;
}

bool UnitLog::Append(const std::string& line, std::string* problem)
{
    const std::lock_guard lock(m_mutex);
    const HANDLE file = FileOf(m_file);
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END)) {
        *problem = Problem("seek in", m_path, ::GetLastError());
        return false;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    DWORD error = 0;
    const char* what = "write to";
    if (!::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        error = ::GetLastError();
    else if (written != text.size())
        error = ERROR_DISK_FULL;
    else if (!::FlushFileBuffers(file)) {
        error = ::GetLastError();
        what = "sync";
    }
    if (error == 0)
        return true;
    // A piece of a line would spoil every reader of the file.
    *problem = Problem(what, m_path, error);
    if (written > 0 && !(::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file)))
        *problem += " (and a piece of the record may be left at its end)";
    return false;
}

}  // namespace pyrrow::cli
