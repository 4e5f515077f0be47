#include <winsock2.h>
#include <windows.h>

#include "platform/system_error.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {

SystemError::Kind SystemErrorKind(int code)
{
    switch (static_cast<unsigned long>(code)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_DEV_NOT_EXIST:
    case WSAECONNREFUSED:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAETIMEDOUT:
        return SystemError::Kind::NotFound;
    case ERROR_ACCESS_DENIED:
        return SystemError::Kind::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
        return SystemError::Kind::Busy;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return SystemError::Kind::Exists;
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    case WSAEMFILE:
    case WSAENOBUFS:
        return SystemError::Kind::Host;
    default:
        return SystemError::Kind::Other;
    }
}

std::string SystemErrorWords(int code)
{
    return SystemErrorText(static_cast<unsigned long>(code));
}

void CaptureSystemError(SystemError* error, const std::string& detail)
{
    // Winsock's last error is the thread's too.
    SetSystemError(error, static_cast<int>(::GetLastError()), detail);
}

}  // namespace pyrrow::platform
