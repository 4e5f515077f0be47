#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string>

#include "platform/files/executable.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

ModuleHandle CurrentModule()
{
    return ::GetModuleHandleW(nullptr);
}

std::u16string ModuleFileName(ModuleHandle module)
{
    // The buffer grows until the path fits: a path longer than MAX_PATH is
    // cut and reported as a full buffer.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(static_cast<HMODULE>(const_cast<void*>(module)), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()));
        const DWORD error = ::GetLastError();
        if (length == 0) {
            ReportSystemError("settings", "find", u"the program's own file", error);
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return FromWide(buffer);
        }
        if (buffer.size() >= 32768) {
            ReportSystemError("settings", "find", u"the program's own file", ERROR_INSUFFICIENT_BUFFER);
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string UserConfigFolder()
{
    // The roaming application data of the user: %APPDATA%\Pyrrow.
    wchar_t* folder = nullptr;
    std::u16string path;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder) == S_OK && folder != nullptr)
        path = FromWide(folder) + u"\\Pyrrow";
    ::CoTaskMemFree(folder);
    return path;
}

}  // namespace pyrrow::platform
