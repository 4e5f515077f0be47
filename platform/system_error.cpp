#include "platform/system_error.h"

namespace pyrrow::platform {

void SetErrorText(SystemError* error, SystemError::Kind kind, std::string text)
{
    if (error == nullptr)
        return;
    error->kind = kind;
    error->code = 0;
    error->text = std::move(text);
}

}  // namespace pyrrow::platform
