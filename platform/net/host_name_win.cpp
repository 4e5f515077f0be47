#include <windows.h>

#include "platform/net/host_name.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

std::string HostName()
{
    wchar_t name[256] = {};
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size))
        return {};
    return ToUtf8(FromWide(name));
}

}  // namespace pyrrow::platform
