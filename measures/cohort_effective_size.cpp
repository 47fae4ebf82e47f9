#include "measures/cohort_effective_size.h"

#include <cmath>
#include <limits>

#include "measures/generation_table.h"

namespace pedsim::measures {

double change_per_generation(double change, double years, double interval)
{
    return 1 - std::pow(1 - change, interval / years);
}

void cohort_effective_sizes(std::vector<GenerationRow>& rows, double interval)
{
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const double years = static_cast<double>(rows[r].generation - rows[r - 1].generation);
        rows[r].ne_delta_f =
            effective_size(change_per_generation(rows[r].delta_f, years, interval));
        rows[r].ne_delta_c =
            effective_size(change_per_generation(rows[r].delta_c, years, interval));
    }
}

RegressionSize regression_effective_size(std::span<const GenerationRow> rows, std::int64_t from,
                                         std::int64_t to, double interval)
{
    constexpr double undefined = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> t, y;
    for (const GenerationRow& row : rows) {
        if (row.generation < from || row.generation > to) continue;
        t.push_back(static_cast<double>(row.generation));
        y.push_back(std::log(1 - row.mean_f));
    }
    const double n = static_cast<double>(t.size());
    if (t.size() < 2) return {undefined, undefined, t.size()};
    double mean_t = 0, mean_y = 0;
    for (std::size_t k = 0; k < t.size(); ++k) mean_t += t[k] / n, mean_y += y[k] / n;
    double sxx = 0, sxy = 0;
    for (std::size_t k = 0; k < t.size(); ++k)
        sxx += (t[k] - mean_t) * (t[k] - mean_t), sxy += (t[k] - mean_t) * (y[k] - mean_y);
    const double slope = sxy / sxx;
    double residuals = 0;
    for (std::size_t k = 0; k < t.size(); ++k) {
        const double e = y[k] - mean_y - slope * (t[k] - mean_t);
        residuals += e * e;
    }
    const double slope_se = std::sqrt(ratio(residuals / (n - 2), sxx));
    const double kept = std::exp(slope * interval);  // 1 - the change per generation
    const double ne = effective_size(1 - kept);
    const double se = interval * kept / (2 * (1 - kept) * (1 - kept)) * slope_se;
    return {ne, t.size() > 2 ? se : undefined, t.size()};
}

std::string uninformative_reason(const RegressionSize& regression)
{
    if (regression.cohorts < fewest_informative_cohorts)
        return "fewer than " + std::to_string(fewest_informative_cohorts) + " cohorts";
    if (!(regression.se <= regression.ne)) return "its standard error is above the estimate";
    return "";
}

}  // namespace pedsim::measures
