// One run of the simulator: makes the units of the chosen link, tells
// where they are on standard output, runs them until they are done or a
// stop is requested, and ends with the verdict and the summary.
#pragma once

#include <iosfwd>
#include <stop_token>

#include "platform/process/stop_requests.h"
#include "sim/options.h"

namespace pyrrow::sim {

// stop is requested by requests, which the run keeps told of the code it
// would end with. Returns the exit code.
int RunSimulator(const Options& options, std::stop_source& stop, platform::StopRequests& requests, std::ostream& out,
                 std::ostream& err);

}  // namespace pyrrow::sim
