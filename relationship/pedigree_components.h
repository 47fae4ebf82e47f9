// The separate populations a pedigree may hold: animals linked by no chain of
// parent and offspring share no ancestor, so their coancestry is zero.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::relationship {

// The component of an animal with neither parent nor offspring in the pedigree.
inline constexpr std::uint32_t lone_animal = UINT32_MAX;

// For each animal, the number of its component: two animals have the same
// number exactly when a chain of parent-offspring links joins them. Numbers
// are dense from 0, in the order of each component's first animal, and
// given only to components of two animals or more (so that a file of
// founders needs none); every other animal has lone_animal.
std::vector<std::uint32_t> pedigree_components(const pedigree::Pedigree& pedigree);

}  // namespace pedsim::relationship
