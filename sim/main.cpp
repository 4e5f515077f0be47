// pyrrow-sim: the device side of Pyrrow's three links, for trying the
// program, a script or a production line without a control unit.
#include <iostream>

#include "sim/options.h"
#include "sim/simulator.h"

int main(int argc, char** argv)
{
    const pyrrow::sim::ParsedOptions parsed = pyrrow::sim::ParseOptions(argc, argv, std::cout, std::cerr);
    if (!parsed.options)
        return parsed.exitCode;
    return pyrrow::sim::RunSimulator(*parsed.options, std::cout, std::cerr);
}
