#include "random/ranper.h"

#include <algorithm>
#include <array>
#include <utility>

namespace pedsim::random {

void ranper(UniformGenerator& generator, std::int32_t n, std::int32_t& iseed, std::span<float> perm)
{
    if (n < 1) return;
    const float xn = static_cast<float>(n);
    for (std::int32_t k = 1; k <= n; ++k)
        perm[static_cast<std::size_t>(k - 1)] = static_cast<float>(k);

    // The n values are drawn a batch at a time: a call for many values gives
    // the values of as many calls for one, without the cost of a call each.
    std::array<float, std::size_t{draws_per_batch}> u;
    for (std::int32_t first = 1; first <= n; first += draws_per_batch) {
        const std::int32_t count = std::min(draws_per_batch, n - first + 1);
        uniran(generator, count, iseed, u);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t position = first + i;
            // Product and sum each rounded to single precision (no fused
            // multiply-add): the rounding decides the partner of every position.
            const float product = xn * u[static_cast<std::size_t>(i)];
            const float t = product + 1.0f;
            std::int32_t k = static_cast<std::int32_t>(t);
            if (k < 1) k = 1;
            if (k > n) k = n;  // u = 1.0 gives t = n + 1
            // The partner is chosen among all n positions; k = n is the position itself.
            std::int64_t partner = std::int64_t{position} + k;  // up to 2n: kept in 64 bits
            if (partner > n) partner -= n;
            std::swap(perm[static_cast<std::size_t>(position - 1)],
                      perm[static_cast<std::size_t>(partner - 1)]);
        }
    }
}

}  // namespace pedsim::random
