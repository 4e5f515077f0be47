// pyrrow-cli: firmware uploads without a window, for production lines and CI.
// Never asks anything: standard input is never read.
#include <cstdio>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output/progress.h"
#include "platform/devices/hid.h"
#include "platform/process/standard_streams.h"
#include "platform/process/stop_requests.h"
#include "platform/process/utf8_arguments.h"
#include "res/version.h"

int main(int argc, char** argv)
{
    // First, before any other thread: a stop that comes while the program
    // starts is taken, and every stop ends the process.
    std::stop_source stop;
    pyrrow::platform::StopRequests requests(stop);
    pyrrow::platform::OpenClosedStandardStreams();
    using pyrrow::cli::Invocation;
    const Invocation invocation = pyrrow::cli::ParseArguments(pyrrow::platform::Utf8Arguments(argc, argv));
    int code = invocation.exitCode;
    switch (invocation.command) {
    case Invocation::Command::Done:
        requests.SetExitCode(code);
        std::fputs(invocation.output.c_str(), stdout);
        std::fputs(pyrrow::cli::Shown(invocation.error).c_str(), stderr);
        break;
    case Invocation::Command::List:
        code = pyrrow::cli::RunList(invocation.listJson);
        break;
    case Invocation::Command::Flash:
        code = pyrrow::cli::RunFlash(invocation.flash, pyrrow::res::kVersion, stop, requests);
        break;
    case Invocation::Command::Report:
        code = pyrrow::cli::RunReport(invocation.report);
        break;
    case Invocation::Command::Publish:
        code = pyrrow::cli::RunPublish(invocation.publish, stop, requests);
        break;
    }
    pyrrow::platform::ShutdownHid();
    // Written out while the watch lives, so that a stop still ends a run
    // whose reader stopped reading.
    requests.SetExitCode(code);
    std::fflush(nullptr);
    return code;
}
