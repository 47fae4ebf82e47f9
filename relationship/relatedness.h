// F of every animal and the mean coancestry of every generation group, by
// the fastest exact method a pedigree and the memory allow: what pedsim-stats
// reports and pedsim-traits draws with.
#pragma once

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"
#include "relationship/relatedness_values.h"
#include "shell/progress.h"

namespace pedsim::relationship {

struct RelatednessFound {
    Relatedness values;  // F per animal, mean coancestry per group
    const char* method;  // how they were computed, in words
};

// The coancestry matrix carried forward when the pedigree has discrete
// generations and the matrices fit in memory (discrete_generations.h), else
// Colleau (2002) mean coancestry with inbreeding by sire (inbreeding_by_sires.h)
// when the pedigree has over 5,000 offspring of known parents and the steps of
// that method, estimated from the pedigree's shape (method_costs.h), would
// take less time than tracing ancestors (Meuwissen and Luo, 1992), or else by
// tracing. All give the same values to within rounding.
RelatednessFound find_relatedness(const pedigree::Pedigree& pedigree,
                                  const GenerationGroups& groups,
                                  const shell::ProgressReport& progress);

}  // namespace pedsim::relationship
