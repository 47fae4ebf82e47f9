#include "relationship/generation_groups.h"

#include <algorithm>

namespace pedsim::stats {

GenerationGroups group_by_generation(const Pedigree& pedigree)
{
    GenerationGroups groups;
    groups.generation = pedigree.generation;
    std::sort(groups.generation.begin(), groups.generation.end());
    groups.generation.erase(std::unique(groups.generation.begin(), groups.generation.end()),
                            groups.generation.end());

    groups.group_of.resize(pedigree.size());
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        const auto found = std::lower_bound(groups.generation.begin(), groups.generation.end(),
                                            pedigree.generation[animal]);
        groups.group_of[animal] = static_cast<std::size_t>(found - groups.generation.begin());
    }
    groups.groups = bucket_by(groups.group_of, groups.size());
    return groups;
}

}  // namespace pedsim::stats
