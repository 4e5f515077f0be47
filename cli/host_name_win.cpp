#include <windows.h>

#include "cli/unit_log.h"
#include "platform/windows_text.h"

namespace pyrrow::cli {

std::string HostName()
{
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return platform::ToUtf8(platform::FromWide(name));
}

}  // namespace pyrrow::cli
