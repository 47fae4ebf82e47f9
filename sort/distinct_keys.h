// Distinct keys ranked in linear time: when no two keys are equal, the
// ascending order is the only one there is, so ranking the keys gives the
// permutation every correct sort gives.
#pragma once

#include <bit>
#include <cstdint>

namespace pedsim::sort {

// Included by sort/ipsort.cpp alone: these are the sort's own pieces, kept
// local to it as when they stood in that file, so that the compiler inlines
// them into the sort's loop alike.
namespace {

// The smallest and largest of the keys carried.
struct KeyRange {
    std::int32_t least;
    std::int32_t most;
};

// The number of bits set in x.
inline std::int32_t bit_count(std::uint32_t x)
{
    x = x - ((x >> 1) & 0x55555555u);
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return static_cast<std::int32_t>((x * 0x01010101u) >> 24);
}

// When no two keys are equal, the ascending order of the keys is the only
// one there is, so every correct sort returns the same permutation as the
// partitioning. For distinct keys of a range no wider than 16 per key this
// ranks them directly, in linear time, and fills perm; it returns false,
// leaving keys as they were but perm overwritten, on the first pair of equal
// keys or when the range is too wide.
//
// Work space: a bitmap over the range, one bit per possible key, and the
// count of keys below each of its 32-bit words, both in perm (2 words per 32
// keys of range, so at most n words); then the rank of every key replaces
// its carried key, and each position is stored at its rank. The identifier
// sort is all such keys: the ranking spares it the partitioning's passes
// (what that saves is measured in bench/README.md).
bool rank_distinct_keys(std::int32_t* keys, std::int32_t n, KeyRange range, std::int32_t* perm)
{
    const std::uint64_t width =
        static_cast<std::uint64_t>(std::int64_t{range.most} - range.least) + 1;
    const std::uint64_t words = (width + 31) / 32;
    if (2 * words > static_cast<std::uint64_t>(n)) return false;
    const auto offset = [&](std::int32_t key) {
        return static_cast<std::uint32_t>(key) - static_cast<std::uint32_t>(range.least);
    };

    // perm as 32-bit words: the bitmap, then the counts below each word.
    auto* const bitmap = reinterpret_cast<std::uint32_t*>(perm);
    std::uint32_t* const below = bitmap + words;
    std::fill(bitmap, bitmap + words, 0u);
    for (std::int32_t e = 0; e < n; ++e) {
        const std::uint32_t v = offset(keys[e]);
        const std::uint32_t bit = 1u << (v % 32);
        if ((bitmap[v / 32] & bit) != 0) return false;
        bitmap[v / 32] |= bit;
    }
    std::uint32_t count = 0;
    for (std::uint64_t w = 0; w < words; ++w) {
        below[w] = count;
        count += static_cast<std::uint32_t>(bit_count(bitmap[w]));
    }
    for (std::int32_t e = 0; e < n; ++e) {
        const std::uint32_t v = offset(keys[e]);
        const std::uint32_t lower_bits = bitmap[v / 32] & ((1u << (v % 32)) - 1u);
        keys[e] = static_cast<std::int32_t>(below[v / 32]) + bit_count(lower_bits);
    }
    for (std::int32_t e = 0; e < n; ++e) perm[keys[e]] = e + 1;
    return true;
}

}  // namespace

}  // namespace pedsim::sort
