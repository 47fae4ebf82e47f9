// Inbreeding and mean coancestry of a pedigree in discrete generations, by
// carrying the coancestry matrix of each generation's parents forward: exact
// in double precision, with no ancestor tracing.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis.h"
#include "generation_groups.h"
#include "pedigree.h"

namespace pedsim::stats {

// Families (distinct sire-dam pairs) among one group's parents beyond which
// the matrix, two of which are held at once, would outgrow memory (2 x 512 MB).
inline constexpr std::size_t max_parent_families = 8192;

// True when every animal with a known parent has both parents known and in
// the group just before its own (founders may stand in any group), and the
// parents of every group come from at most max_parent_families families.
bool has_discrete_generations(const Pedigree& pedigree, const GenerationGroups& groups);

struct Relatedness {
    std::vector<double> inbreeding;       // F of each animal
    std::vector<double> mean_coancestry;  // of each group, x'Ax / (2 n^2)
};

// F of every animal and the mean coancestry of every group of a pedigree for
// which has_discrete_generations holds. Full sibs have the same coancestry
// with everyone else, so the coancestries f_ab among a group's parents are
// kept per family: f_ab = C[family a][family b] + (a == b) e_a, where
// e_a = (1 + F_a)/2 - C[family a][family a] restores the animal's own value,
// and founders share one family whose row is zero. The next group's C follows
// from two products with the parents' incidence, f of two offspring being the
// mean of their parents' four coancestries: O(K^2) per group for K families,
// on several threads. F of an offspring is its parents' coancestry; the
// group's sum of coancestries comes from the previous C in the same way.
Relatedness coancestry_carried_forward(const Pedigree& pedigree, const GenerationGroups& groups,
                                       const ProgressReport& progress);

}  // namespace pedsim::stats
