#include "cli/arguments.h"
#include "platform/command_line.h"
#include "platform/utf.h"

namespace pyrrow::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    std::vector<std::string> arguments;
    for (const std::u16string& argument : platform::ProgramArguments(argc, argv))
        arguments.push_back(platform::Utf16ToUtf8Lossy(argument));
    return arguments;
}

}  // namespace pyrrow::cli
