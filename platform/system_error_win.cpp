#include <winsock2.h>
#include <windows.h>

#include "platform/system_error.h"
#include "platform/windows_text.h"

namespace pyrrow::platform {
namespace {

SystemError::Kind KindOf(unsigned long code)
{
    switch (code) {
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
    default:
        return SystemError::Kind::Other;
    }
}

}  // namespace

void CaptureSystemError(SystemError* error, const std::string& detail)
{
    // Winsock's last error is the thread's too.
    SetSystemError(error, static_cast<int>(::GetLastError()), detail);
}

void SetSystemError(SystemError* error, int code, const std::string& detail)
{
    if (error == nullptr)
        return;
    const auto value = static_cast<unsigned long>(code);
    error->kind = KindOf(value);
    error->code = code;
    error->text = SystemErrorText(value);
    if (!detail.empty())
        error->text += " (" + detail + ")";
}

}  // namespace pyrrow::platform
