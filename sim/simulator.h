// One run of the simulator: makes the units of the chosen link, tells
// where they are on standard output, runs them until they are done or a
// stop is requested, and ends with the verdict and the summary.
#pragma once

#include <iosfwd>

#include "sim/options.h"

namespace pyrrow::sim {

// Returns the exit code.
int RunSimulator(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace pyrrow::sim
