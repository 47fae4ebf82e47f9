// pedsim-stats' names for its rows of the project's table of exit statuses
// (common/exit_status.h): 1 the pedigree or the design file refused, 2 the
// command line refused; 0, 3 and 4 as in every program.
#pragma once

#include "common/exit_status.h"
#include "common/failure.h"

namespace pedsim::stats {

using ExitStatus::input_refused;
using ExitStatus::usage_refused;

}  // namespace pedsim::stats
