// The rows of the per-generation table: the animals grouped by their
// generation field, one group per distinct value in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pedigree.h"

namespace pedsim::stats {

struct GenerationGroups {
    std::vector<std::int64_t> generation;  // the generation field of each group, ascending
    std::vector<std::size_t> group_of;     // the group of each animal
    std::vector<AnimalIndex> animals;      // every animal, group after group, ascending within
    std::vector<std::size_t> first;        // group g holds animals[first[g] .. first[g + 1])

    std::size_t size() const { return generation.size(); }
    std::span<const AnimalIndex> members(std::size_t group) const
    {
        return std::span(animals).subspan(first[group], first[group + 1] - first[group]);
    }
};

// Groups the animals of `pedigree` by pedigree.generation.
GenerationGroups group_by_generation(const Pedigree& pedigree);

}  // namespace pedsim::stats
