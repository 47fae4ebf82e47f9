// What inbreeding by sire and inbreeding by ancestor paths would cost on a
// pedigree, in steps of their inner loops, estimated in O(N) before either
// runs: the choice between them follows the pedigree's shape.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::relationship {

// inbreeding_by_sires' steps: for each sire, the sires and ancestors of sires
// standing from its oldest ancestor to its last mate (its forward pass), and
// one per pair of parents. `pairs` lists the animals with both parents known
// by sire, then dam (by_sire_then_dam).
double steps_by_sires(const pedigree::Pedigree& pedigree,
                      const std::vector<pedigree::AnimalIndex>& pairs);

// inbreeding_by_paths' steps: for each distinct pair of parents, the
// ancestors of both, their mean found on `samples` pairs spread evenly over
// `pairs` (samples >= 1), and 10 more for setting up its trace (measured: a
// pair costs about as much as ten ancestors).
double steps_by_paths(const pedigree::Pedigree& pedigree,
                      const std::vector<pedigree::AnimalIndex>& pairs, std::size_t samples);

}  // namespace pedsim::relationship
