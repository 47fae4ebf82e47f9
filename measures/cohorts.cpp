#include "measures/cohorts.h"

#include <algorithm>

#include "pedigree/indexing.h"

namespace pedsim::measures {

std::vector<bool> animals_in_cohorts(const pedigree::Pedigree& pedigree)
{
    const std::vector<bool>& recorded = pedigree.generation_recorded;
    if (recorded.empty() || std::ranges::all_of(recorded, [](bool in) { return in; })) return {};
    std::vector<bool> in_cohort = recorded;
    // Parents stand before their offspring, so one pass settles every animal.
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent) && in_cohort[pedigree::position(parent)])
                in_cohort[i] = true;
    if (std::ranges::all_of(in_cohort, [](bool in) { return in; })) return {};
    return in_cohort;
}

relationship::GenerationGroups cohort_groups(const pedigree::Pedigree& pedigree,
                                             const std::vector<bool>& in_cohort)
{
    relationship::GenerationGroups groups = relationship::group_by_generation(pedigree);
    if (in_cohort.empty()) return groups;
    // The groups that keep an animal, renumbered in order; the rest go.
    std::vector<bool> kept(groups.size(), false);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        if (in_cohort[i]) kept[groups.group_of[i]] = true;
    std::vector<std::size_t> renumbered(groups.size());
    std::vector<std::int64_t> generation;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        renumbered[g] = generation.size();
        if (kept[g]) generation.push_back(groups.generation[g]);
    }
    const std::size_t outside = generation.size();
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        groups.group_of[i] = in_cohort[i] ? renumbered[groups.group_of[i]] : outside;
    // The outside group's value is never shown; it follows the cohorts'.
    generation.push_back(generation.empty() ? 0 : generation.back() + 1);
    groups.generation = std::move(generation);
    groups.groups = relationship::bucket_by(groups.group_of, groups.size());
    return groups;
}

void drop_outside_group(relationship::GenerationGroups& groups)
{
    groups.generation.pop_back();
    groups.groups.first.pop_back();
}

std::size_t animals_outside_cohorts(const std::vector<bool>& in_cohort)
{
    return static_cast<std::size_t>(std::ranges::count(in_cohort, false));
}

}  // namespace pedsim::measures
