// F of every animal and the mean coancestry of every generation, from the
// exact engines of pedsim-stats.
#pragma once

#include <string>

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"
#include "relationship/relatedness.h"

namespace pedsim::traits {

struct PedigreeRelatedness {
    relationship::GenerationGroups groups;  // the animals by generation, ascending
    relationship::Relatedness found;        // F per animal, mean coancestry per group
    std::string method;                     // how they were computed, in words
};

// The pedigree's generation groups, and F and mean coancestries found as
// pedsim-stats finds them (stats/relatedness.h).
PedigreeRelatedness pedigree_relatedness(const pedigree::Pedigree& pedigree,
                                         const shell::ProgressReport& progress);

}  // namespace pedsim::traits
