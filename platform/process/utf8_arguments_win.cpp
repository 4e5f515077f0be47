#include "platform/process/command_line.h"
#include "platform/process/utf8_arguments.h"
#include "platform/utf.h"

namespace pyrrow::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (const std::u16string& argument : ProgramArguments(argc, argv))
        arguments.push_back(Utf16ToUtf8Lossy(argument));
    return arguments;
}

}  // namespace pyrrow::platform
