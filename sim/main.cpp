// pyrrow-sim: the device side of Pyrrow's three links, for trying the
// program, a script or a production line without a control unit.
#include <iostream>
#include <stop_token>

#include "platform/process/standard_streams.h"
#include "platform/process/stop_requests.h"
#include "sim/options.h"
#include "sim/simulator.h"

int main(int argc, char** argv)
{
    // First, before any other thread: a stop that comes while the simulator
    // starts is taken, and every stop ends the process. SIGQUIT too: a
    // serial unit's link must not be left behind.
    std::stop_source stop;
    pyrrow::platform::StopRequests requests(stop, pyrrow::platform::QuitSignal::Stops);
    pyrrow::platform::OpenClosedStandardStreams();
    const pyrrow::sim::ParsedOptions parsed = pyrrow::sim::ParseOptions(argc, argv, std::cout, std::cerr);
    const int code =
        parsed.options ? pyrrow::sim::RunSimulator(*parsed.options, stop, requests, std::cout, std::cerr)
                       : parsed.exitCode;
    // Written out while the watch lives, so that a stop still ends a
    // simulator whose reader stopped reading.
    requests.SetExitCode(code);
    std::cout.flush();
    return code;
}
