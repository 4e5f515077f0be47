// pyrrow-cli: firmware uploads without a window, for production lines and CI.
// Never asks anything: standard input is never read.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "platform/hid.h"
#include "res/version.h"

int main(int argc, char** argv)
{
    using pyrrow::cli::Invocation;
    const Invocation invocation = pyrrow::cli::ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    int code = invocation.exitCode;
    switch (invocation.command) {
    case Invocation::Command::Done:
        std::fputs(invocation.output.c_str(), stdout);
        std::fputs(invocation.error.c_str(), stderr);
        return code;
    case Invocation::Command::List:
        code = pyrrow::cli::RunList(invocation.listJson);
        break;
    case Invocation::Command::Flash:
        code = pyrrow::cli::RunFlash(invocation.flash, pyrrow::res::kVersion);
        break;
    }
    pyrrow::platform::ShutdownHid();
    return code;
}
