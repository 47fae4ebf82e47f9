#include "random/uniran.h"

#include <algorithm>
#include <cassert>

namespace pedsim::random {

namespace {

constexpr std::int32_t seeded_modulus = 2147483647;  // 2^31 - 1
constexpr std::int32_t half_word = 65536;            // 2^16, splits products while seeding
constexpr std::int32_t multiplier = 9069;

// Steps a lag position down by one, wrapping from 1 to 17.
std::int32_t previous_lag(std::int32_t position)
{
    return position == 1 ? table_size : position - 1;
}

}  // namespace

void UniformGenerator::seed(std::int32_t seed)
{
    assert(seed > 0);
    m1_ = seeded_modulus;
    std::int32_t s = std::min(seed, m1_);
    if (s % 2 == 0) s -= 1;

    // The table entries are s * 9069^t mod 2^31. Each product is split into
    // 16-bit halves so that no intermediate needs more than 32 bits.
    const std::int32_t k0 = multiplier % half_word;
    const std::int32_t k1 = multiplier / half_word;
    std::int32_t j0 = s % half_word;
    std::int32_t j1 = s / half_word;
    for (std::int32_t& entry : m_) {
        const std::int32_t p = j0 * k0;  // below 2^16 * 9069: fits
        j1 = (p / half_word + j0 * k1 + j1 * k0) % (half_word / 2);
        j0 = p % half_word;
        entry = j0 + half_word * j1;
    }
    i_ = short_lag;
    j_ = table_size;
}

float UniformGenerator::draw()
{
    // Both entries lie in 0 .. m1 - 1, so the difference cannot overflow.
    std::int32_t k = m_[static_cast<std::size_t>(i_ - 1)] - m_[static_cast<std::size_t>(j_ - 1)];
    if (k < 0) k += m1_;
    m_[static_cast<std::size_t>(j_ - 1)] = k;
    i_ = previous_lag(i_);
    j_ = previous_lag(j_);
    ++draws_;
    // Single precision on purpose: the rounding of k and of the quotient is
    // part of every value (k >= 2^31 - 64 gives exactly 1.0).
    return static_cast<float>(k) / static_cast<float>(m1_);
}

UniformGenerator& process_generator()
{
    static UniformGenerator generator;
    return generator;
}

void uniran(UniformGenerator& generator, std::int32_t n, std::int32_t& iseed, std::span<float> x)
{
    if (iseed > 0) generator.seed(iseed);
    for (std::int32_t t = 0; t < n; ++t) x[static_cast<std::size_t>(t)] = generator.draw();
    iseed = -1;
}

void uniran(std::int32_t n, std::int32_t& iseed, std::span<float> x)
{
    uniran(process_generator(), n, iseed, x);
}

}  // namespace pedsim::random
