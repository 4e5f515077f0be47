#include "sim/system.h"

namespace pyrrow::sim {

platform::SystemError Failure(const std::string& what)
{
    platform::SystemError error;
    platform::CaptureSystemError(&error);
    error.text = what + ": " + error.text;
    return error;
}

platform::SystemError Failure(const std::string& what, const std::error_code& code)
{
    platform::SystemError error;
    platform::SetSystemError(&error, code.value());
    error.text = what + ": " + error.text;
    return error;
}

}  // namespace pyrrow::sim
