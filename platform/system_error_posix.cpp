#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace pyrrow::platform {

SystemError::Kind SystemErrorKind(int code)
{
    switch (code) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ETIMEDOUT:
        return SystemError::Kind::NotFound;
    case EACCES:
    case EPERM:
        return SystemError::Kind::Denied;
    case EBUSY:
    case EWOULDBLOCK:
        return SystemError::Kind::Busy;
    case EEXIST:
        return SystemError::Kind::Exists;
    case EMFILE:
    case ENFILE:
    case ENOMEM:
    case ENOBUFS:
    case ENOLCK:
        return SystemError::Kind::Host;
    default:
        return SystemError::Kind::Other;
    }
}

std::string SystemErrorWords(int code)
{
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling buffer.
    return ::strerror_r(code, buffer, sizeof buffer);
}

void CaptureSystemError(SystemError* error, const std::string& detail)
{
    SetSystemError(error, errno, detail);
}

}  // namespace pyrrow::platform
