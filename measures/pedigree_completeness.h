// How deep each animal's known ancestry goes: the traced generations that,
// with the equivalent complete generations (ancestry.h), describe the
// completeness of a pedigree (MacCluer et al., 1983; Boichard et al., 1997).
#pragma once

#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::measures {

struct TracedGenerations {
    // Maximum generations: the number of generations to the animal's most
    // distant known ancestor; 0 for a founder, else 1 + the larger of its
    // known parents'.
    std::vector<double> maximum;
    // Complete generations: the generations back to which every ancestor is
    // known; 0 with a parent unknown, else 1 + the smaller of its parents'.
    std::vector<double> complete;
};

// The traced generations of every animal, in one pass in the pedigree's order.
TracedGenerations traced_generations(const pedigree::Pedigree& pedigree);

}  // namespace pedsim::measures
