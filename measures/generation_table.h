// The rows of the per-generation table, from the values per animal and the
// mean coancestry per group. A value that is undefined is NaN.
#pragma once

#include <cstddef>
#include <vector>

#include "measures/results.h"
#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"

namespace pedsim::measures {

// x / y, NaN when y is 0: an undefined ratio, not an infinite one.
double ratio(double x, double y);

// Rate of change of inbreeding or coancestry from one generation to the
// next: (x_t - x_{t-1}) / (1 - x_{t-1}) (Falconer and Mackay, 1996).
double relative_increase(double before, double now);

// Effective size from a rate of inbreeding or coancestry: Ne = 1 / (2 delta)
// (Falconer and Mackay, 1996).
double effective_size(double increase);

// Standard error of Ne = 1 / (2 mean dF_i) over n animals:
// (2 / sqrt(n)) Ne^2 sd(dF_i) (Gutierrez et al., 2009).
double effective_size_error(double ne, double sd, std::size_t n);

// One row per group, in the groups' order: counts, F, coancestry, ECG and dF_i
// per group, their rates against the previous row (NaN on the first), and
// expected_f[g] (its size is the number of groups). Standard deviations are
// of samples (n - 1 in the denominator); means of dF_i skip animals whose
// dF_i is NaN.
std::vector<GenerationRow> generation_table(const pedigree::Pedigree& pedigree,
                                            const relationship::GenerationGroups& groups,
                                            const AnimalValues& animals,
                                            const std::vector<double>& mean_coancestry,
                                            const std::vector<double>& expected_f);

}  // namespace pedsim::measures
