// What inbreeding by ancestor paths would cost on a pedigree, in steps of its
// inner loop, estimated before it runs (SireMethod::estimated_steps does the
// same for inbreeding by sire): the choice between them follows the
// pedigree's shape.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/lineage.h"

namespace pedsim::relationship {

// inbreeding_by_paths' steps: for each distinct pair of parents, the
// ancestors of both, their mean found on `samples` pairs spread evenly over
// `pairs` (samples >= 1), and 10 more for setting up its trace (measured: a
// pair costs about as much as ten ancestors).
double steps_by_paths(const pedigree::Pedigree& pedigree, const ParentPairs& pairs,
                      std::size_t samples);

}  // namespace pedsim::relationship
