// What the depth of each animal's known ancestry says: equivalent complete
// generations, the individual increase in inbreeding, founders and their
// contributions.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pedigree.h"

namespace pedsim::stats {

// Equivalent complete generations of every animal: the sum over its known
// ancestors, once per path, of (1/2)^generations back, computed as
// ECG_i = sum over known parents p of (1 + ECG_p) / 2 (Maignel et al., 1996).
std::vector<double> equivalent_generations(const Pedigree& pedigree);

// Individual increase in inbreeding dF_i = 1 - (1 - F_i)^(1 / (ECG_i - 1))
// (Gutierrez et al., 2008, 2009); NaN when ECG_i <= 1.
double individual_increase(double inbreeding, double equivalent_generations);

// Animals with both parents unknown.
std::size_t count_founders(const Pedigree& pedigree);

// Effective number of founders of `group` (Lacy, 1989): fe = 1 / sum_k c_k^2
// for the founder contributions c_k, found in one backward pass that gives
// each animal of the group weight 1/n and passes half of every animal's
// weight to each known parent. An unknown parent of a non-founder is a
// founder of its own taking its half, so the contributions sum to 1.
// Assumes a non-empty group.
double effective_founders(const Pedigree& pedigree, std::span<const AnimalIndex> group);

}  // namespace pedsim::stats
