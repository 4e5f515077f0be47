#include "sim/system.h"

namespace pyrrow::sim {

platform::SystemError Failure(const std::string& what, const std::error_code& code)
{
    platform::SystemError error;
    if (code)
        platform::SetSystemError(&error, code.value());
    else
        platform::CaptureSystemError(&error);
    error.text = what + ": " + error.text;
    return error;
}

}  // namespace pyrrow::sim
