// The logarithm, sine and cosine that turn uniform draws into normal ones,
// computed with +, -, *, / and frexp only, each an exactly rounded IEEE
// operation: the same bits on every platform and at every optimisation
// level (with contraction off), where the C library's log, sin and cos may
// differ between libraries and between their FMA and plain variants.
#pragma once

namespace pedsim::traits {

// ln(u) for 0 < u <= 1 (any finite u > 0 works), within a few units in the
// last place: u = m 2^e with m in [sqrt(1/2), sqrt(2)), ln m = 2 atanh(s)
// for s = (m - 1)/(m + 1), |s| <= 0.1716, by its series to s^23.
double portable_log(double u);

struct CosineSine {
    double cosine = 1, sine = 0;
};

// cos and sin of the angle of `turns` full turns (2 pi turns radians), for
// 0 <= turns <= 1, within a few units in the last place: turns times 4 is
// split exactly into a quadrant k and a remainder r in [-1/2, 1/2], and
// cos and sin of r pi/2 (at most pi/4) come from their Taylor series to the
// 18th power, then rotated by k quarter turns.
CosineSine portable_turn(double turns);

}  // namespace pedsim::traits
