// Inbreeding and mean coancestry of a pedigree in discrete generations, by
// carrying the coancestry matrix of each generation's parents forward: exact
// in double precision, with no ancestor tracing.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"
#include "relationship/relatedness_values.h"
#include "shell/progress.h"

namespace pedsim::relationship {

// The most families K among one group's parents for which the matrices held
// at once (one whole with an eighth to spare, and one triangle: 13 K^2
// bytes) fit in the memory a
// pedigree of `animals` may take, max(1 GiB, 300 bytes per animal), less 200
// bytes per animal for the rest of the analysis.
std::size_t most_families(std::size_t animals);

// True when every known parent of an animal stands in the group just before
// the animal's own, or is a founder of an earlier group whose offspring all
// stand in one group (so that it is unrelated to the other parents of that
// group, as the founders of the group just before are). Founders may stand
// in any group; an unknown parent counts as a founder of its own.
bool has_discrete_generations(const pedigree::Pedigree& pedigree, const GenerationGroups& groups);

// F of every animal and the mean coancestry of every group of a pedigree for
// which has_discrete_generations holds, or nothing when the parents of one
// population in some group come from more than `families_allowed` families.
// Populations (animals that a chain of parents and offspring joins) share no
// ancestor: each is carried through its groups apart, with a matrix of its
// own families, and a group's mean sums its populations' sums over its pairs
// (a pedigree of one population is carried group by group as it stands).
// Full sibs have the same coancestry with everyone else, so the coancestries
// f_ab among a group's parents are kept per family: f_ab = C[family
// a][family b] + (a == b) e_a, where e_a = (1 + F_a)/2 - C[family a][family
// a] restores the animal's own value, and founders share one family whose
// row is zero; so does an unknown parent, a founder of its own whose e is
// 1/2. The next group's C follows from two products with the parents'
// incidence, f of two offspring being the mean of their parents' four
// coancestries: O(K^2) per group for K families, on several threads. F of an
// offspring is its parents' coancestry; the group's sum of coancestries
// comes from the previous C in the same way.
std::optional<Relatedness> coancestry_carried_forward(const pedigree::Pedigree& pedigree,
                                                      const GenerationGroups& groups,
                                                      std::size_t families_allowed,
                                                      const shell::ProgressReport& progress);

}  // namespace pedsim::relationship
