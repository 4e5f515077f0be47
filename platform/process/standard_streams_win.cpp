#include "platform/process/standard_streams.h"

#include <cstdlib>
#include <initializer_list>

#include <windows.h>

namespace pyrrow::platform {

// Windows does not reuse a standard handle's number for the next file, but
// a missing standard handle gives writes to it no target and may be taken
// by a child; the null device stands in, as on other systems.
void OpenClosedStandardStreams()
{
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = ::GetStdHandle(which);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
            continue;
        const HANDLE null = ::CreateFileW(L"NUL", which == STD_INPUT_HANDLE ? GENERIC_READ : GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (null == INVALID_HANDLE_VALUE || !::SetStdHandle(which, null))
            std::_Exit(125);
    }
}

}  // namespace pyrrow::platform
