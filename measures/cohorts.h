// Which animals stand in a birth-year cohort. The reader fills in a year
// that a row leaves out, and gives a parent without a row the year before
// its first offspring's; a founder without a year of its own, or a parent
// without a row, has none to take, so its filled-in year places it nowhere.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"

namespace pedsim::measures {

// Whether each animal stands in a cohort: its row gives its year, or, the
// value missing there, a known parent stands in one (the animal then takes
// 1 + the latest parent's year). Empty when every animal does, and always
// for a pedigree without a time column.
std::vector<bool> animals_in_cohorts(const pedigree::Pedigree& pedigree);

// The animals grouped by generation, those not `in_cohort` (when it is not
// empty) in one more group after the cohorts, so that the relationship
// engine still sees every animal; drop_outside_group() drops that group.
relationship::GenerationGroups cohort_groups(const pedigree::Pedigree& pedigree,
                                             const std::vector<bool>& in_cohort);

// Drops the last group of `groups`, that of the animals outside every cohort
// (cohort_groups with a non-empty `in_cohort`). Their group_of then lies
// beyond the groups. Assumes groups.size() > 0.
void drop_outside_group(relationship::GenerationGroups& groups);

// The animals that are not `in_cohort`; 0 when it is empty.
std::size_t animals_outside_cohorts(const std::vector<bool>& in_cohort);

}  // namespace pedsim::measures
