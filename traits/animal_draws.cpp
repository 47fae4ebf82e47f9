#include "traits/animal_draws.h"

#include <Random123/philox.h>
#include <cmath>
#include <xxhash.h>

#include "traits/portable_math.h"

namespace pedsim::traits {

namespace {

// A fixed second key word; the seed is the first.
constexpr std::uint64_t key_tag = 0x70656473696d7472;  // "pedsimtr"

// The 53 high bits of w, plus one, times 2^-53: every value is exact in a
// double and none is 0, so that the logarithm below is finite.
double uniform(std::uint64_t word) { return static_cast<double>((word >> 11) + 1) * 0x1p-53; }

// Block k of the stream: four 64-bit words.
r123::Philox4x64::ctr_type block(std::uint64_t seed, IdentifierHash hash, std::uint64_t stream,
                                 std::uint64_t k)
{
    const r123::Philox4x64 generator;
    const r123::Philox4x64::key_type key = {{seed, key_tag}};
    return generator({{hash.low, hash.high, stream, k}}, key);
}

}  // namespace

IdentifierHash identifier_hash(std::string_view identifier)
{
    const XXH128_hash_t hash = XXH3_128bits(identifier.data(), identifier.size());
    return {hash.low64, hash.high64};
}

void normal_deviates(std::uint64_t seed, IdentifierHash hash, std::uint64_t stream,
                     std::span<double> deviates)
{
    for (std::size_t k = 0; k < deviates.size(); k += 4) {
        const r123::Philox4x64::ctr_type words = block(seed, hash, stream, k / 4);
        for (std::size_t pair = 0; pair < 2; ++pair) {
            const double radius = std::sqrt(-2.0 * portable_log(uniform(words[2 * pair])));
            const CosineSine turn = portable_turn(uniform(words[2 * pair + 1]));
            if (k + 2 * pair < deviates.size()) deviates[k + 2 * pair] = radius * turn.cosine;
            if (k + 2 * pair + 1 < deviates.size()) deviates[k + 2 * pair + 1] = radius * turn.sine;
        }
    }
}

void uniform_deviates(std::uint64_t seed, IdentifierHash hash, std::uint64_t stream,
                      std::span<double> uniforms)
{
    for (std::size_t k = 0; k < uniforms.size(); k += 4) {
        const r123::Philox4x64::ctr_type words = block(seed, hash, stream, k / 4);
        for (std::size_t w = 0; w < 4 && k + w < uniforms.size(); ++w)
            uniforms[k + w] = uniform(words[w]);
    }
}

}  // namespace pedsim::traits
