#include "traits/portable_math.h"

#include <cmath>
#include <numbers>

namespace pedsim::traits {

double portable_log(double u)
{
    int exponent = 0;
    double m = std::frexp(u, &exponent);  // exact: u = m 2^exponent, m in [1/2, 1)
    if (m < std::numbers::sqrt2 / 2) {
        m *= 2;  // exact
        --exponent;
    }
    const double s = (m - 1) / (m + 1);
    const double s2 = s * s;
    // 2 (s + s^3/3 + ... + s^23/23), by Horner from the smallest term.
    double series = 1.0 / 23;
    for (int k = 21; k >= 1; k -= 2) series = 1.0 / k + s2 * series;
    // ln 2 in two parts: the first has 32 significant bits, so that its
    // product with the exponent (|e| < 1100) is exact.
    constexpr double ln2_high = 0x1.62e42fefp-1;
    constexpr double ln2_low = std::numbers::ln2 - ln2_high;
    const double e = exponent;
    return e * ln2_high + (2 * s * series + e * ln2_low);
}

CosineSine portable_turn(double turns)
{
    const double quarters = turns * 4;            // exact
    const double k = std::nearbyint(quarters);    // 0 .. 4
    const double r = quarters - k;                // exact, in [-1/2, 1/2]
    const double x = r * (std::numbers::pi / 2);  // |x| <= pi/4
    const double x2 = x * x;
    // Taylor series, Horner from the smallest term: cos to x^18, sin to x^17.
    double cosine = 1, sine = 1;
    for (int n = 18; n >= 2; n -= 2) cosine = 1 - x2 / (n * (n - 1)) * cosine;
    for (int n = 17; n >= 3; n -= 2) sine = 1 - x2 / (n * (n - 1)) * sine;
    sine *= x;
    switch (static_cast<int>(k) % 4) {
    case 1:
        return {-sine, cosine};
    case 2:
        return {-cosine, -sine};
    case 3:
        return {sine, -cosine};
    default:
        return {cosine, sine};
    }
}

}  // namespace pedsim::traits
