#include "platform/system_error.h"

namespace pyrrow::platform {

void SetSystemError(SystemError* error, int code, const std::string& detail)
{
    if (error == nullptr)
        return;
    error->kind = SystemErrorKind(code);
    error->code = code;
    error->text = SystemErrorWords(code);
    if (!detail.empty())
        error->text += " (" + detail + ")";
}

void SetErrorText(SystemError* error, SystemError::Kind kind, std::string text)
{
    if (error == nullptr)
        return;
    error->kind = kind;
    error->code = 0;
    error->text = std::move(text);
}

}  // namespace pyrrow::platform
