// The per-generation check of a simulation against theory: the realised
// mean and variance of each trait's true breeding values beside the
// expected within-generation variance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "traits/breeding_values.h"
#include "traits/model.h"
#include "traits/pedigree_relatedness.h"

namespace pedsim::traits {

struct TraitCheck {
    double mean_tbv = 0;
    double var_tbv = 0;           // over the generation's animals, divided by their number
    double expected_var_tbv = 0;  // G_tt [(1 + mean F) - 2 mean coancestry]
    double var_phenotype = 0;     // over the generation's records; NaN without records
    // Variance of the records' tbv over var_phenotype; NaN unless that is > 0.
    double heritability = 0;
    // With maternal effects: the variance of the maternal values and M_tt
    // times the same fraction as the direct values'.
    double var_mbv = 0, expected_var_mbv = 0;
    // For a threshold trait: the share of records above the first threshold,
    // and its expectation from each record's liability less its residual;
    // NaN without records.
    double incidence = std::numeric_limits<double>::quiet_NaN();
    double expected_incidence = std::numeric_limits<double>::quiet_NaN();
};

struct CheckRow {
    std::int64_t generation = 0;
    std::size_t animals = 0;
    std::size_t records = 0;
    std::vector<TraitCheck> traits;
};

// One row per generation group, ascending. The expected variance is that of
// the breeding values of n animals about their own mean: the mean of A_ii
// less the mean of A_ij over all ordered pairs, times G_tt, with mean A_ij
// twice the mean coancestry as pedsim-stats defines it.
std::vector<CheckRow> check_rows(const PedigreeRelatedness& relatedness, const TraitModel& model,
                                 const Simulated& simulated);

// The check table, tab-separated with a header: generation animals records,
// then per trait T mean_tbv_T var_tbv_T expected_var_tbv_T var_phenotype_T
// h2_T, with maternal effects var_mbv_T expected_var_mbv_T, for a threshold
// trait incidence_T expected_incidence_T; NaN as an empty cell.
std::string check_table(const std::vector<CheckRow>& rows, const TraitModel& model);

}  // namespace pedsim::traits
