// pedsim-stats as a user runs it, its options already read.
#pragma once

#include "stats/options.h"

namespace pedsim::stats {

// Writes the usage or the version when asked; otherwise reads the design
// (when given) and the pedigree, analyses it with a progress line on a
// terminal, and writes the table and, when asked, the animals, all or none;
// two or more pedigrees are a replicate study (replicate_study.h).
// Throws a Failure for every failure, leaving the outputs as they were.
void run_stats(const Options& options);

}  // namespace pedsim::stats
