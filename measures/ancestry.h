// What the depth of each animal's known ancestry says: equivalent complete
// generations, the individual increase in inbreeding, founders and their
// contributions.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::measures {

// Equivalent complete generations of every animal: the sum over its known
// ancestors, once per path, of (1/2)^generations back, computed as
// ECG_i = sum over known parents p of (1 + ECG_p) / 2 (Maignel et al., 1996).
std::vector<double> equivalent_generations(const pedigree::Pedigree& pedigree);

// Individual increase in inbreeding dF_i = 1 - (1 - F_i)^(1 / (ECG_i - 1))
// (Gutierrez et al., 2008, 2009); NaN when ECG_i <= 1.
double individual_increase(double inbreeding, double equivalent_generations);

// Animals with both parents unknown.
std::size_t count_founders(const pedigree::Pedigree& pedigree);

// Animals with exactly one known parent: each has a missing parent that the
// default founders' rule below counts as a founder of its own.
std::size_t count_half_founders(const pedigree::Pedigree& pedigree);

// What stands behind the unknown parent of an animal with one known parent.
enum class FounderRule {
    // A founder of its own, taking its half of the animal's contribution,
    // so that the contributions of the founders sum to 1 (as optiSel's
    // genecont does).
    missing_parent_is_founder,
    // Nothing: that half is dropped, and the contributions of the founders
    // with a row or added for a named parent are rescaled to sum to 1 (as
    // purgeR does).
    known_founders_only,
};

// Effective number of founders of `group` (Lacy, 1989): fe = 1 / sum_k c_k^2
// for the founder contributions c_k, found in one backward pass that gives
// each animal of the group weight 1/n and passes half of every animal's
// weight to each known parent; the unknown parent of an animal with one
// known parent as `rule` says. Assumes a non-empty group.
double effective_founders(const pedigree::Pedigree& pedigree,
                          std::span<const pedigree::AnimalIndex> group,
                          FounderRule rule = FounderRule::missing_parent_is_founder);

}  // namespace pedsim::measures
