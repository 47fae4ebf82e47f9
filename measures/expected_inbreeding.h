// The inbreeding a pedsim design leads to in expectation, and its summary.
#pragma once

#include <cstddef>
#include <vector>

#include "design/parameters.h"
#include "measures/results.h"

namespace pedsim::measures {

// c of the design's recursion, for Nm = nsire sires each mated to d = ndps
// dams with k = noff offspring each, Nf = Nm d: two distinct offspring drawn
// at random are full sibs with chance (k - 1)/(Nf k - 1) and paternal half
// sibs with chance k(d - 1)/(Nf k - 1), whence c = [2(k - 1) + k(d - 1)] / [4(Nf k - 1)].
double design_c(const design::Parameters& design);

// Expected F of the first `rows` rows of a pedsim pedigree of `design`, row 0
// being the founders: F_0 = F_1 = 0 and F_{t+1} = F_t + (c/2)(1 - 2F_t + F_{t-1}),
// through t = ngen + 1, the protocol's offspring, whose parents are drawn as
// the historical ones are; NaN for the rows beyond those ngen + 2.
std::vector<double> expected_inbreeding(const design::Parameters& design, std::size_t rows);

// Nm, Nf, 1/c and Wright's Ne = 4 Nm Nf / (Nm + Nf) (Wright, 1931) of `design`.
DesignSummary design_summary(const design::Parameters& design);

}  // namespace pedsim::measures
