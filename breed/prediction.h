// The deterministic prediction of truncation selection on one trait's
// phenotype with discrete generations: the response of each generation and
// the variance of the breeding values, reduced by selection (Bulmer 1971).
#pragma once

#include <cstddef>
#include <vector>

namespace pedsim::breed {

// The selection intensity i = z(x) / p of truncation at the upper
// proportion p of a standard normal (0 < p <= 1), x its threshold and z the
// normal density; and k = i (i - x), the fraction by which the selected
// parents' variance shrinks.
struct Truncation {
    double intensity = 0;
    double shrinkage = 0;
};
Truncation truncation_of(double proportion);

// What a round of selection did, as the prediction reads it.
struct RoundOfSelection {
    double proportion_males = 1;    // sires / male candidates
    double proportion_females = 1;  // dams / female candidates
    double parents_inbreeding = 0;  // mean F of the sires and dams, (F_s + F_d) / 2
};

struct Prediction {
    std::vector<double> response;  // R_t, expected mean of t+1 minus that of t
    std::vector<double> additive;  // sigma2_A,t
};

// For rounds t = 0, 1, ...: R_t = i_bar sigma2_A,t / sigma_P,t with
// sigma2_P,t = sigma2_A,t + `other_variance` (the variance of the mean of
// one's records beside the breeding value), and sigma2_A,t+1 =
// 1/2 (1 - k_bar h2_t) sigma2_A,t + 1/2 sigma2_A,0 (1 - F_parents,t),
// i_bar and k_bar the means of the two sexes'. Returns rounds.size() + 1
// variances and rounds.size() responses.
Prediction predict(double base_additive, double other_variance,
                   const std::vector<RoundOfSelection>& rounds);

}  // namespace pedsim::breed
