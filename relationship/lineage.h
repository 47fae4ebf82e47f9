// The pedigree as the inbreeding methods walk it: each animal's parents side
// by side with its depth, and the animals that share both parents.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::relationship {

// The parents of each animal side by side, and its depth, 0 without known
// parents, else 1 + the larger depth of its known parents, so that every
// animal is deeper than its ancestors.
struct Lineage {
    std::vector<std::array<pedigree::AnimalIndex, 2>> parents;
    std::vector<std::size_t> depth;
};

Lineage lineage_of(const pedigree::Pedigree& pedigree);

// The animals with both parents known, ordered by sire, then dam, then index.
std::vector<pedigree::AnimalIndex> by_sire_then_dam(const pedigree::Pedigree& pedigree);

// 1 for every sire of an offspring and every ancestor of one, else 0.
std::vector<std::uint8_t> sires_and_their_ancestors(const pedigree::Pedigree& pedigree);

// For each animal with both parents known, the first animal with the same two
// parents (itself when it is the first); `unknown` for the others.
std::vector<pedigree::AnimalIndex>
first_with_same_parents(const pedigree::Pedigree& pedigree,
                        const std::vector<pedigree::AnimalIndex>& with_parents);

}  // namespace pedsim::relationship
