// Effective size per generation from birth-year cohorts: the yearly changes
// of inbreeding and coancestry taken to a generation of L years, and the
// regression of ln(1 - mean F) on birth year.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "measures/results.h"

namespace pedsim::measures {

// The change over a generation of `interval` years from a change `change`
// over `years` years at a constant rate:
// 1 - (1 - change)^(interval / years), i.e. with the yearly rate
// d = 1 - (1 - change)^(1 / years), 1 - (1 - d)^L.
double change_per_generation(double change, double years, double interval);

// Rewrites Ne_delta_F and Ne_delta_C of every row but the first as
// 1 / (2 change per generation) of its delta_F and delta_C over the years
// since the previous row, a generation being `interval` years; delta_F and
// delta_C stay the changes between the rows.
void cohort_effective_sizes(std::vector<GenerationRow>& rows, double interval);

struct RegressionSize {
    double ne = 0, se = 0;    // NaN when undefined
    std::size_t cohorts = 0;  // rows the regression used
};

// Ne from the least-squares slope b of ln(1 - mean F) on the time value over
// the rows whose time lies in from..to: the change per generation
// 1 - exp(b L), Ne = 1 / (2 (1 - exp(b L))) (Gutierrez et al., 2008, 2009;
// Falconer and Mackay, 1996); the standard error by the delta method,
// |dNe/db| se(b) = L exp(b L) / (2 (1 - exp(b L))^2) se(b). With L = 1 the
// time is generations. NaN with fewer than two rows, the error with fewer
// than three.
// A regression over fewer cohorts than this says little of Ne.
inline constexpr std::size_t fewest_informative_cohorts = 5;

// Why `regression` is not informative, in words ("fewer than 5 cohorts",
// "its standard error is above the estimate"; an undefined error or a
// negative Ne counts as above); empty when it is.
std::string uninformative_reason(const RegressionSize& regression);

RegressionSize regression_effective_size(std::span<const GenerationRow> rows, std::int64_t from,
                                         std::int64_t to, double interval);

}  // namespace pedsim::measures
