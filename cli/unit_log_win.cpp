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

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            true};
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

std::intptr_t UnitLog::OpenFile(const std::string& path, std::string* problem) const
{
    const std::wstring wide = platform::ToWide(platform::Utf8ToUtf16Lossy(path));
    const HANDLE file = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *problem = Problem("open", path, ::GetLastError());
        return kNoFile;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        *problem = "--log: " + path + " is not a regular file on a disk";
        return kNoFile;
    }
    // Lines are only ever added; a file that is not such a log (the
    // firmware given by mistake, a trace, JSON of another kind) is left as
    // it is.
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file, &info)) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(file);
        *problem = Problem("look at", path, error);
        return kNoFile;
    }
    *problem = KeptFileProblem(path, IdentityOf(info), m_keep);
    std::uint64_t offset = 0;
    if (problem->empty())
        *problem = LogContentProblem(path, [file, &offset](char* buffer, std::size_t size, std::string* reason) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD read = 0;
            if (!::ReadFile(file, buffer, static_cast<DWORD>(size), &read, &at)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_HANDLE_EOF)
                    return std::ptrdiff_t{0};
                *reason = platform::SystemErrorText(error);
                return std::ptrdiff_t{-1};
            }
            offset += read;
            return static_cast<std::ptrdiff_t>(read);
        });
    if (!problem->empty()) {
        ::CloseHandle(file);
        return kNoFile;
    }
    return reinterpret_cast<std::intptr_t>(file);
}

bool UnitLog::PathNamesFile() const
{
    // The log is held without FILE_SHARE_DELETE, so it is seldom removed or
    // renamed; the look is the same as elsewhere all the same.
    const std::wstring wide = platform::ToWide(platform::Utf8ToUtf16Lossy(m_path));
    const HANDLE named = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION namedInfo{};
    BY_HANDLE_FILE_INFORMATION openInfo{};
    const bool same = ::GetFileInformationByHandle(named, &namedInfo) &&
                      ::GetFileInformationByHandle(FileOf(m_file), &openInfo) &&
                      IdentityOf(namedInfo) == IdentityOf(openInfo);
    ::CloseHandle(named);
    return same;
}

void UnitLog::CloseFile(std::intptr_t file)
{
    ::CloseHandle(FileOf(file));
}

bool UnitLog::Write(const std::string& line, std::string* problem)
{
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
