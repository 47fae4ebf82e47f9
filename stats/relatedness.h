// F of every animal and the mean coancestry of every generation group, by
// the fastest exact method a pedigree and the memory allow: what pedsim-stats
// reports and pedsim-traits draws with.
#pragma once

#include "generation_groups.h"
#include "pedigree.h"
#include "results.h"

namespace pedsim::stats {

struct RelatednessFound {
    Relatedness values;  // F per animal, mean coancestry per group
    const char* method;  // how they were computed, in words
};

// The coancestry matrix carried forward when the pedigree has discrete
// generations and the matrices fit in memory (discrete_generations.h), else
// Meuwissen and Luo (1992) inbreeding and Colleau (2002) mean coancestry.
// Both give the same values to within rounding.
RelatednessFound find_relatedness(const Pedigree& pedigree, const GenerationGroups& groups,
                                  const ProgressReport& progress);

}  // namespace pedsim::stats
