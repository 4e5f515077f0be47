#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace pyrrow::platform {
namespace {

SystemError::Kind KindOf(int code)
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
    default:
        return SystemError::Kind::Other;
    }
}

}  // namespace

void CaptureSystemError(SystemError* error, const std::string& detail)
{
    SetSystemError(error, errno, detail);
}

void SetSystemError(SystemError* error, int code, const std::string& detail)
{
    if (error == nullptr)
        return;
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling buffer.
    const char* words = ::strerror_r(code, buffer, sizeof buffer);
    error->kind = KindOf(code);
    error->code = code;
    error->text = words;
    if (!detail.empty())
        error->text += " (" + detail + ")";
}

}  // namespace pyrrow::platform
