// pedsim-traits as a user runs it, its options already read.
#pragma once

#include "traits/options.h"

namespace pedsim::traits {

// Writes the usage or the version when asked; otherwise reads the model and
// the pedigree, computes F and the mean coancestries with a progress line on
// a terminal, simulates, and writes the records, the animals, the numeric
// files and the check, all files or none (the check on standard error after
// the files, when no --check FILE). Throws a Failure for every failure,
// leaving the outputs as they were.
void run_traits(const Options& options);

}  // namespace pedsim::traits
