// pyrrow-cli: firmware uploads without a window, for production lines and CI.
// Never asks anything: standard input is never read.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "platform/hid.h"
#include "platform/standard_streams.h"
#include "res/version.h"

int main(int argc, char** argv)
{
    pyrrow::platform::OpenClosedStandardStreams();
    using pyrrow::cli::Invocation;
    const Invocation invocation = pyrrow::cli::ParseArguments(pyrrow::cli::Utf8Arguments(argc, argv));
    int code = invocation.exitCode;
    switch (invocation.command) {
    case Invocation::Command::Done:
        std::fputs(invocation.output.c_str(), stdout);
        std::fputs(pyrrow::cli::Shown(invocation.error).c_str(), stderr);
        return code;
    case Invocation::Command::List:
        code = pyrrow::cli::RunList(invocation.listJson);
        break;
    case Invocation::Command::Flash:
        code = pyrrow::cli::RunFlash(invocation.flash, pyrrow::res::kVersion);
        break;
    case Invocation::Command::Publish:
        code = pyrrow::cli::RunPublish(invocation.publish);
        break;
    }
    pyrrow::platform::ShutdownHid();
    return code;
}
