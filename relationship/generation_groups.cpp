#include "relationship/generation_groups.h"

#include <algorithm>
#include <cstdint>

namespace pedsim::relationship {

namespace {

// The distinct generations, ascending. Within a range of at most twice the
// animals a table of the values present finds them in O(N), where sorting a
// copy took a second on ten million animals; else by sorting.
std::vector<std::int64_t> distinct_generations(const std::vector<std::int64_t>& generation)
{
    if (generation.empty()) return {};
    const auto [low, high] = std::ranges::minmax(generation);
    const auto span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    std::vector<std::int64_t> distinct;
    if (span < 2 * static_cast<std::uint64_t>(generation.size())) {
        std::vector<std::uint8_t> present(static_cast<std::size_t>(span) + 1, 0);
        for (const std::int64_t g : generation)
            present[static_cast<std::size_t>(static_cast<std::uint64_t>(g) -
                                             static_cast<std::uint64_t>(low))] = 1;
        for (std::size_t k = 0; k < present.size(); ++k)
            if (present[k]) distinct.push_back(low + static_cast<std::int64_t>(k));
        return distinct;
    }
    distinct = generation;
    std::ranges::sort(distinct);
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    return distinct;
}

}  // namespace

GenerationGroups group_by_generation(const pedigree::Pedigree& pedigree)
{
    GenerationGroups groups;
    groups.generation = distinct_generations(pedigree.generation);

    groups.group_of.resize(pedigree.size());
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        const auto found = std::lower_bound(groups.generation.begin(), groups.generation.end(),
                                            pedigree.generation[animal]);
        groups.group_of[animal] = static_cast<std::size_t>(found - groups.generation.begin());
    }
    groups.groups = bucket_by(groups.group_of, groups.size());
    return groups;
}

}  // namespace pedsim::relationship
