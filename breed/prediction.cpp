#include "breed/prediction.h"

#include <cmath>
#include <numbers>

namespace pedsim::breed {

namespace {

double density(double x) { return std::exp(-0.5 * x * x) / std::sqrt(2 * std::numbers::pi); }

// The upper tail 1 - Phi(x).
double upper_tail(double x) { return 0.5 * std::erfc(x / std::numbers::sqrt2); }

// x with upper_tail(x) = p, by bisection: the tail falls monotonically, and
// 200 halvings of [-40, 40] reach the last bit of a double.
double threshold_of(double proportion)
{
    double low = -40, high = 40;
    for (int step = 0; step < 200; ++step) {
        const double middle = 0.5 * (low + high);
        (upper_tail(middle) > proportion ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

}  // namespace

Truncation truncation_of(double proportion)
{
    if (proportion >= 1) return {0, 0};
    const double x = threshold_of(proportion);
    const double i = density(x) / proportion;
    return {i, i * (i - x)};
}

Prediction predict(double base_additive, double other_variance,
                   const std::vector<RoundOfSelection>& rounds)
{
    Prediction prediction;
    double additive = base_additive;
    prediction.additive.push_back(additive);
    for (const RoundOfSelection& round : rounds) {
        const Truncation males = truncation_of(round.proportion_males);
        const Truncation females = truncation_of(round.proportion_females);
        const double i_bar = 0.5 * (males.intensity + females.intensity);
        const double k_bar = 0.5 * (males.shrinkage + females.shrinkage);
        const double phenotypic = additive + other_variance;
        prediction.response.push_back(i_bar * additive / std::sqrt(phenotypic));
        const double h2 = additive / phenotypic;
        additive = 0.5 * (1 - k_bar * h2) * additive +
                   0.5 * base_additive * (1 - round.parents_inbreeding);
        prediction.additive.push_back(additive);
    }
    return prediction;
}

}  // namespace pedsim::breed
