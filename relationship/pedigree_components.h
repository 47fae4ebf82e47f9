// The separate populations a pedigree may hold: animals linked by no chain of
// parent and offspring share no ancestor, so their coancestry is zero.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::relationship {

// For each animal, the number of its component: two animals have the same
// number exactly when a chain of parent-offspring links joins them. Numbers
// are dense from 0, in the order of each component's first animal.
std::vector<std::uint32_t> pedigree_components(const pedigree::Pedigree& pedigree);

}  // namespace pedsim::relationship
