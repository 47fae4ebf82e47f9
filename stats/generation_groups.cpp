#include "generation_groups.h"

#include <algorithm>

#include "indexing.h"

namespace pedsim::stats {

GenerationGroups group_by_generation(const Pedigree& pedigree)
{
    GenerationGroups groups;
    groups.generation = pedigree.generation;
    std::ranges::sort(groups.generation);
    const auto [last, end] = std::ranges::unique(groups.generation);
    groups.generation.erase(last, end);

    const std::size_t animals = pedigree.size();
    groups.group_of.resize(animals);
    groups.first.assign(groups.size() + 1, 0);
    for (std::size_t animal = 0; animal < animals; ++animal) {
        const auto found = std::ranges::lower_bound(groups.generation, pedigree.generation[animal]);
        groups.group_of[animal] = static_cast<std::size_t>(found - groups.generation.begin());
        ++groups.first[groups.group_of[animal] + 1];
    }
    for (std::size_t g = 0; g < groups.size(); ++g) groups.first[g + 1] += groups.first[g];

    // A counting sort keeps the animals of each group in ascending order.
    std::vector<std::size_t> next(groups.first.begin(), groups.first.end() - 1);
    groups.animals.resize(animals);
    for (std::size_t animal = 0; animal < animals; ++animal)
        groups.animals[next[groups.group_of[animal]]++] = animal_at(animal);
    return groups;
}

}  // namespace pedsim::stats
