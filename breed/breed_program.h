// pedsim-breed as a whole: the options checked, the program file read, the
// breeding program run and every output written, all or none.
#pragma once

#include "breed/options.h"

namespace pedsim::breed {

// Runs what `options` ask; throws a Failure for anything refused.
void run_breed(const Options& options);

}  // namespace pedsim::breed
