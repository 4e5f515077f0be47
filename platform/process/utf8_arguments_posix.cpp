#include "platform/process/utf8_arguments.h"

namespace pyrrow::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace pyrrow::platform
