// The pedigree as the inbreeding methods walk it: each animal's parents side
// by side with its depth, and the animals that share both parents.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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

// The animals with both parents known, ordered by sire, then dam, then index,
// in families of one sire, each offspring's dam beside it: a pass over them
// reads the dams in order, where the pedigree's dam column would be read at
// random (a herd book's dams are scattered over years of births).
struct ParentPairs {
    std::vector<pedigree::AnimalIndex> offspring;
    std::vector<pedigree::AnimalIndex> dam;    // offspring[k]'s dam
    std::vector<pedigree::AnimalIndex> sires;  // each family's sire, in the pedigree's order
    std::vector<std::size_t> first;            // family k: offspring[first[k] .. first[k + 1])

    std::size_t size() const { return offspring.size(); }
    std::span<const pedigree::AnimalIndex> offspring_of(std::size_t family) const
    {
        return std::span(offspring).subspan(first[family], first[family + 1] - first[family]);
    }
    std::span<const pedigree::AnimalIndex> dams_of(std::size_t family) const
    {
        return std::span(dam).subspan(first[family], first[family + 1] - first[family]);
    }
};

ParentPairs by_sire_then_dam(const pedigree::Pedigree& pedigree);

// For each pair of ParentPairs, whether its parents are the previous pair's.
template <class Visit>
void for_each_pair(const ParentPairs& pairs, Visit visit)
{
    for (std::size_t family = 0; family + 1 < pairs.first.size(); ++family)
        for (std::size_t k = pairs.first[family]; k < pairs.first[family + 1]; ++k)
            visit(k, k > pairs.first[family] && pairs.dam[k] == pairs.dam[k - 1]);
}

// 1 for every sire of an offspring and every ancestor of one, else 0.
std::vector<std::uint8_t> sires_and_their_ancestors(const pedigree::Pedigree& pedigree);

// For each animal with both parents known, the first animal with the same two
// parents (itself when it is the first); `unknown` for the others.
std::vector<pedigree::AnimalIndex> first_with_same_parents(const pedigree::Pedigree& pedigree,
                                                           const ParentPairs& pairs);

}  // namespace pedsim::relationship
