// An order of animals in which every parent comes before its offspring,
// found without recursion, so that a pedigree of any depth is safe.
#pragma once

#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

struct ParentsFirst {
    // Every animal once, parents before offspring; empty when there is a loop.
    std::vector<AnimalIndex> order;
    // An animal that is its own ancestor, then its parent, that one's parent
    // and so on, back to the parent of the first; empty when there is none.
    std::vector<AnimalIndex> loop;
};

// Orders the animals 0 .. sire.size()-1 whose parents are `sire` and `dam`
// (indices into the same range, or unknown): each animal in turn, in index
// order, comes right after those of its ancestors not already placed, so an
// order that already puts parents first is kept as it is.
ParentsFirst parents_first(std::span<const AnimalIndex> sire, std::span<const AnimalIndex> dam);

}  // namespace pedsim::pedigree
