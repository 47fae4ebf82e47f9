#include "ranper.h"

#include <utility>

namespace pedsim {

void ranper(UniformGenerator& generator, std::int32_t n, std::int32_t& iseed,
            std::span<float> perm)
{
    if (n < 1) return;
    const float xn = static_cast<float>(n);
    for (std::int32_t k = 1; k <= n; ++k) perm[static_cast<std::size_t>(k - 1)] = static_cast<float>(k);

    float u = 0.0f;
    for (std::int32_t position = 1; position <= n; ++position) {
        uniran(generator, 1, iseed, std::span<float>(&u, 1));
        // Product and sum each rounded to single precision (no fused
        // multiply-add): the rounding decides the partner of every position.
        const float product = xn * u;
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

void ranper(std::int32_t n, std::int32_t& iseed, std::span<float> perm)
{
    ranper(process_generator(), n, iseed, perm);
}

}  // namespace pedsim
