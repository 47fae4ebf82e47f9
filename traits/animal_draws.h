// The random draws of one animal: a counter-based generator (Random123's
// Philox4x64, Salmon et al. 2011) keyed by the seed, whose counter is built
// from a 128-bit hash (XXH3-128) of the animal's identifier text, the stream
// the draw belongs to and the draw's index. An animal's draws therefore
// depend only on the seed and its identifier: reordering the rows, adding
// animals or threads changes no other animal's draws.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace pedsim::traits {

// What a draw belongs to; each has its own counters, so that adding
// permanent effects or records changes no breeding value.
enum class DrawStream : std::uint64_t {
    mendelian = 0,  // the Mendelian sampling term, or a founder's value
    permanent = 1,  // the permanent environmental effect
    residual = 2,   // the residual of record r is stream residual + r
    // Streams added later start beyond every residual's, so that a model
    // without them draws exactly what it drew before they existed.
    maternal_permanent = std::uint64_t{1} << 32,  // the dam's maternal permanent effect
    record_kept = (std::uint64_t{1} << 32) + 1,   // whether each record is kept
    fixed_level = (std::uint64_t{1} << 32) + 2,   // a fixed effect level's value
    group = (std::uint64_t{1} << 32) + 3,         // the group of fixed effect k is group + k
    // The age at recording of an age covariate; its counter hashes
    // "NAME/IDENTIFIER", so that the age depends on the effect's name, not
    // on its place among the effects.
    age = (std::uint64_t{1} << 32) + 4,
};

struct IdentifierHash {
    std::uint64_t low = 0, high = 0;
};

// XXH3-128 of the identifier's text, seed 0.
IdentifierHash identifier_hash(std::string_view identifier);

// Fills `deviates` with independent standard normal deviates of the stream
// `stream` (plus `record` for the residuals) of the animal with `hash`.
// Philox block k (counter {hash.low, hash.high, stream, k}) gives four 64-bit
// words; each word w becomes the uniform u = ((w >> 11) + 1) 2^-53 in (0, 1],
// exact in a double, and each pair (u1, u2) two deviates by Box-Muller:
// sqrt(-2 ln u1) cos(2 pi u2) and sqrt(-2 ln u1) sin(2 pi u2), with ln, cos
// and sin from portable_math.h, so that the deviates are the same bits on
// every platform.
void normal_deviates(std::uint64_t seed, IdentifierHash hash, std::uint64_t stream,
                     std::span<double> deviates);

// Fills `uniforms` with independent uniform deviates in (0, 1] of the
// stream `stream` of the animal with `hash`, from the same Philox blocks
// and 53-bit rule as normal_deviates, one word each.
void uniform_deviates(std::uint64_t seed, IdentifierHash hash, std::uint64_t stream,
                      std::span<double> uniforms);

}  // namespace pedsim::traits
