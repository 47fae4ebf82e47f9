// The rows of the per-generation table: the animals grouped by their
// generation field, one group per distinct value in ascending order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/buckets.h"

namespace pedsim::relationship {

struct GenerationGroups {
    std::vector<std::int64_t> generation;  // the generation field of each group, ascending
    std::vector<std::size_t> group_of;     // the group of each animal
    Buckets groups;                        // the animals of each group, ascending

    std::size_t size() const { return generation.size(); }
    std::span<const pedigree::AnimalIndex> members(std::size_t group) const
    {
        return groups.bucket(group);
    }
};

// Groups the animals of `pedigree` by pedigree.generation.
GenerationGroups group_by_generation(const pedigree::Pedigree& pedigree);

}  // namespace pedsim::relationship
