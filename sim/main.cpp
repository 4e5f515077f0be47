// pyrrow-sim: the device side of Pyrrow's three links, for trying the
// program, a script or a production line without a control unit.
#include <iostream>

#include "platform/standard_streams.h"
#include "sim/options.h"
#include "sim/simulator.h"

int main(int argc, char** argv)
{
    pyrrow::platform::OpenClosedStandardStreams();
    const pyrrow::sim::ParsedOptions parsed = pyrrow::sim::ParseOptions(argc, argv, std::cout, std::cerr);
    if (!parsed.options)
        return parsed.exitCode;
    return pyrrow::sim::RunSimulator(*parsed.options, std::cout, std::cerr);
}
