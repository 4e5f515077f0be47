#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/process/command_line.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

std::vector<std::u16string> ProgramArguments(int, const char* const*)
{
    // argv holds the arguments in the ANSI code page, which loses every
    // character outside it: split the UTF-16 command line instead.
    std::vector<std::u16string> arguments;
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) {
        ReportSystemError("command line", "split", FromWide(::GetCommandLineW()), ::GetLastError());
        return arguments;
    }
    for (int i = 1; i < count; ++i)
        arguments.push_back(FromWide(argv[i]));
    ::LocalFree(argv);
    return arguments;
}

bool IsOptionMark(char16_t c)
{
    return c == u'-' || c == u'/';
}

std::u16string CurrentDirectory()
{
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) {
        ReportSystemError("command line", "read", u"the current directory", ::GetLastError());
        return {};
    }
    std::wstring buffer(needed, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0 || length >= needed) {
        ReportSystemError("command line", "read", u"the current directory", ::GetLastError());
        return {};
    }
    buffer.resize(length);
    return FromWide(buffer);
}

std::u16string AbsolutePath(const std::u16string& path)
{
    if (path.empty())
        return path;
    const std::wstring wide = ToWide(path);
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        ReportSystemError("command line", "make absolute", path, ::GetLastError());
        return path;
    }
    std::wstring buffer(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) {
        ReportSystemError("command line", "make absolute", path, ::GetLastError());
        return path;
    }
    buffer.resize(length);
    return FromWide(buffer);
}

}  // namespace pyrrow::platform
