// F of every animal and the mean coancestry of every generation, from the
// exact engines of pedsim-stats.
#pragma once

#include <string>

#include "analysis.h"
#include "discrete_generations.h"
#include "generation_groups.h"
#include "pedigree.h"

namespace pedsim::traits {

struct PedigreeRelatedness {
    stats::GenerationGroups groups;  // the animals by generation, ascending
    stats::Relatedness found;        // F per animal, mean coancestry per group
    std::string method;              // how they were computed, in words
};

// Chooses the fastest exact method the pedigree allows, as pedsim-stats
// does: the coancestry matrix carried forward in discrete generations, else
// Meuwissen and Luo (1992) inbreeding and Colleau (2002) mean coancestry.
PedigreeRelatedness pedigree_relatedness(const stats::Pedigree& pedigree,
                                         const stats::ProgressReport& progress);

}  // namespace pedsim::traits
