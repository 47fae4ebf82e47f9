#include "generation_groups.h"

#include <algorithm>

namespace pedsim::stats {

GenerationGroups group_by_generation(const Pedigree& pedigree)
{
    GenerationGroups groups;
    groups.generation = pedigree.generation;
    std::ranges::sort(groups.generation);
    const auto [last, end] = std::ranges::unique(groups.generation);
    groups.generation.erase(last, end);

    groups.group_of.resize(pedigree.size());
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        const auto found = std::ranges::lower_bound(groups.generation, pedigree.generation[animal]);
        groups.group_of[animal] = static_cast<std::size_t>(found - groups.generation.begin());
    }
    groups.groups = bucket_by(groups.group_of, groups.size());
    return groups;
}

}  // namespace pedsim::stats
