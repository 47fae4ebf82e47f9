#include "relationship/lineage.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include "pedigree/indexing.h"

namespace pedsim::stats {

Lineage lineage_of(const Pedigree& pedigree)
{
    Lineage lineage{std::vector<std::array<AnimalIndex, 2>>(pedigree.size()),
                    std::vector<std::size_t>(pedigree.size(), 0)};
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        lineage.parents[animal] = {pedigree.sire[animal], pedigree.dam[animal]};
        for (const AnimalIndex parent : lineage.parents[animal])
            if (is_known(parent))
                lineage.depth[animal] =
                    std::max(lineage.depth[animal], lineage.depth[position(parent)] + 1);
    }
    return lineage;
}

std::vector<AnimalIndex> by_sire_then_dam(const Pedigree& pedigree)
{
    std::vector<AnimalIndex> with_parents;
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        if (is_known(pedigree.sire[animal]) && is_known(pedigree.dam[animal]))
            with_parents.push_back(animal_at(animal));
    const auto parents_then_index = [&](AnimalIndex a) {
        return std::tuple(pedigree.sire[position(a)], pedigree.dam[position(a)], a);
    };
    std::ranges::sort(with_parents, std::less<>(), parents_then_index);
    return with_parents;
}

std::vector<AnimalIndex> first_with_same_parents(const Pedigree& pedigree,
                                                 const std::vector<AnimalIndex>& with_parents)
{
    const auto same_parents = [&](AnimalIndex a, AnimalIndex b) {
        return pedigree.sire[position(a)] == pedigree.sire[position(b)] &&
               pedigree.dam[position(a)] == pedigree.dam[position(b)];
    };
    std::vector<AnimalIndex> first(pedigree.size(), unknown);
    for (std::size_t k = 0; k < with_parents.size(); ++k) {
        const AnimalIndex animal = with_parents[k];
        const bool follows = k > 0 && same_parents(with_parents[k - 1], animal);
        first[position(animal)] = follows ? first[position(with_parents[k - 1])] : animal;
    }
    return first;
}

}  // namespace pedsim::stats
