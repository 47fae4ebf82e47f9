#include "measures/expected_inbreeding.h"

#include <limits>

namespace pedsim::measures {

namespace {
double males(const design::Parameters& design) { return design.nsire; }
double females(const design::Parameters& design)
{
    return static_cast<double>(design.nsire) * design.ndps;
}
}  // namespace

double design_c(const design::Parameters& design)
{
    const double d = design.ndps, k = design.noff;
    return (2 * (k - 1) + k * (d - 1)) / (4 * (females(design) * k - 1));
}

std::vector<double> expected_inbreeding(const design::Parameters& design, std::size_t rows)
{
    const std::size_t covered = static_cast<std::size_t>(design.ngen) + 2;
    std::vector<double> expected(rows, std::numeric_limits<double>::quiet_NaN());
    const double c = design_c(design);
    double before = 0, now = 0;  // F_{t-1}, F_t
    for (std::size_t t = 0; t < rows && t < covered; ++t) {
        expected[t] = now;
        if (t == 0) continue;  // the founders' offspring are not inbred either
        const double next = now + c / 2 * (1 - 2 * now + before);
        before = now;
        now = next;
    }
    return expected;
}

DesignSummary design_summary(const design::Parameters& design)
{
    const double nm = males(design), nf = females(design);
    return {design.nsire, design.nsire * design.ndps, 1 / design_c(design),
            4 * nm * nf / (nm + nf)};
}

}  // namespace pedsim::measures
