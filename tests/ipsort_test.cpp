#include "sort/ipsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "design/parameter_checks.h"
#include "sim/simulation.h"

namespace {

using Values = std::vector<std::int32_t>;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

struct Sorted {
    Values keys, perm;
    Values work;  // the lent work space after the call
};

// Sorts a copy of the keys, with perm and the work space primed to values
// the call must replace.
Sorted run_ipsort(Values keys, std::int32_t kflag, std::int32_t n)
{
    Values perm(keys.size(), -7);
    Values work(keys.size(), -5);
    pedsim::sort::ipsort(keys, n, perm, kflag, work);
    return {keys, perm, work};
}
Sorted run_ipsort(const Values& keys, std::int32_t kflag)
{
    return run_ipsort(keys, kflag, static_cast<std::int32_t>(keys.size()));
}

void expect_result(const Sorted& got, const Values& perm, const Values& keys)
{
    EXPECT_EQ(got.perm, perm);
    EXPECT_EQ(got.keys, keys);
}

const Values kSix{5, -2, 9, 0, 5, 1};

TEST(IpsortKnownResults, SingleKeyIsLeftAsItIs)
{
    // A single key is never negated, so even -2^31 is fine in a descending call.
    for (std::int32_t kflag : {1, 2, -1, -2}) expect_result(run_ipsort({kMin}, kflag), {1}, {kMin});
}

TEST(IpsortKnownResults, SmallInputs)
{
    expect_result(run_ipsort({3, 1, 2}, -1), {1, 3, 2}, {3, 1, 2});
    expect_result(run_ipsort({3, 1, 2}, 2), {2, 3, 1}, {1, 2, 3});
    expect_result(run_ipsort({3, 1, 2}, -2), {1, 3, 2}, {3, 2, 1});
    // The sort is not stable: equal keys end where the partitioning leaves them.
    expect_result(run_ipsort(kSix, 1), {2, 4, 6, 5, 1, 3}, kSix);
    expect_result(run_ipsort(kSix, -1), {3, 5, 1, 6, 4, 2}, kSix);
    expect_result(run_ipsort({4, 4, 4, 4, 4}, 1), {1, 4, 3, 2, 5}, {4, 4, 4, 4, 4});
}

// Small cases traced by hand through the partition steps; each one fixes the
// order among equal keys that a different step would change.
TEST(IpsortKnownResults, EqualKeysShowEachPartitionStep)
{
    // Width 2: pivot offset trunc(0.83) = 0; the exchange with the last entry
    // brings position 3 to the front.
    expect_result(run_ipsort({1, 0, 0}, 1), {3, 2, 1}, {1, 0, 0});
    // Width 5: pivot offset trunc(2.07) = 2, so position 3 (a 1) is the pivot.
    expect_result(run_ipsort({0, 0, 1, 0, 0, 1}, 1), {1, 5, 2, 4, 3, 6}, {0, 0, 1, 0, 0, 1});
    // Scans that stop on the same entry step past it before the split.
    expect_result(run_ipsort({0, 0, 1, 1, 1}, 1), {1, 2, 3, 4, 5}, {0, 0, 1, 1, 1});
}

// Width 316,643 is the first where float(width) * 0.4140625 rounds to 131110
// while the exact product is 131109.99. On sorted keys the first pivot is then
// position 131111 and the next key, made equal to it, is exchanged with it;
// every later segment is sorted with distinct keys and stays in place. An
// offset computed exactly would leave the whole permutation in place.
TEST(IpsortKnownResults, PivotOffsetIsRoundedInSinglePrecision)
{
    constexpr std::int32_t n = 316644;
    constexpr std::size_t pivot = 131111;
    Values keys(n), perm(n);
    std::iota(keys.begin(), keys.end(), 1);
    std::iota(perm.begin(), perm.end(), 1);
    keys[pivot] = static_cast<std::int32_t>(pivot);
    std::swap(perm[pivot - 1], perm[pivot]);
    expect_result(run_ipsort(keys, 1), perm, keys);
}

TEST(IpsortFlags, SignChoosesOrderAndOnlyMagnitudeTwoReorders)
{
    for (std::int32_t kflag : {0, 3, 7, kMax})
        expect_result(run_ipsort(kSix, kflag), {2, 4, 6, 5, 1, 3}, kSix);
    for (std::int32_t kflag : {-3, -5, kMin})
        expect_result(run_ipsort(kSix, kflag), {3, 5, 1, 6, 4, 2}, kSix);
}

TEST(IpsortEdges, NoKeysLeavesPermUntouched)
{
    for (std::int32_t n : {0, -3}) expect_result(run_ipsort({3, 1}, 1, n), {-7, -7}, {3, 1});
}

TEST(IpsortEdges, ComparisonsAreSignedOverTheFullRange)
{
    expect_result(run_ipsort({kMax, kMin, 0, -1}, 2), {2, 4, 3, 1}, {kMin, -1, 0, kMax});
    expect_result(run_ipsort({kMax, kMin + 1, 0, -1}, -1), {1, 3, 4, 2}, {kMax, kMin + 1, 0, -1});
}

// Checks one call against std::sort: perm lists every position once, the keys
// read through it are in order, and they come back reordered or untouched.
void expect_sorted_through_perm(const Values& original, std::int32_t kflag)
{
    const Sorted got = run_ipsort(original, kflag);
    Values positions = got.perm, all_positions(original.size());
    std::sort(positions.begin(), positions.end());
    std::iota(all_positions.begin(), all_positions.end(), 1);
    ASSERT_EQ(positions, all_positions);
    Values through(original.size());
    for (std::size_t k = 0; k < original.size(); ++k)
        through[k] = original[static_cast<std::size_t>(got.perm[k] - 1)];
    Values expected = original;
    if (kflag < 0)
        std::sort(expected.begin(), expected.end(), std::greater<>());
    else
        std::sort(expected.begin(), expected.end());
    EXPECT_EQ(through, expected);
    EXPECT_EQ(got.work, expected) << "the work space does not hold the keys in sorted order";
    EXPECT_EQ(got.keys, kflag == 2 || kflag == -2 ? expected : original);
}

TEST(IpsortEdges, AllKeysEqualKeepTheKeys)
{
    for (std::int32_t kflag : {1, 2, -2}) expect_sorted_through_perm(Values(1000, -9), kflag);
}

// Keys of a given size in several shapes, drawn with a fixed seed.
std::vector<Values> shaped_inputs(std::size_t n, std::mt19937& rng)
{
    Values few(n), wide(n), distinct(n), rising(n), falling(n);
    for (std::size_t k = 0; k < n; ++k) {
        few[k] = static_cast<std::int32_t>(rng() % 7u) - 3;
        wide[k] = static_cast<std::int32_t>(rng() % 2000000001u) - 1000000000;
        distinct[k] = rising[k] = 3 * static_cast<std::int32_t>(k) - 1000;
        falling[n - 1 - k] = rising[k];
    }
    for (std::size_t k = n - 1; k > 0; --k) std::swap(distinct[k], distinct[rng() % (k + 1)]);
    return {few, wide, distinct, rising, falling};
}

TEST(IpsortProperties, AgreesWithStdSort)
{
    std::mt19937 rng(20240611u);
    for (std::size_t n : {2u, 3u, 17u, 1000u, 100000u}) {
        const std::vector<Values> inputs = shaped_inputs(n, rng);
        for (std::size_t shape = 0; shape < inputs.size(); ++shape) {
            for (std::int32_t kflag : {1, 2, -1, -2}) {
                SCOPED_TRACE(testing::Message()
                             << "n=" << n << " shape=" << shape << " kflag=" << kflag);
                expect_sorted_through_perm(inputs[shape], kflag);
            }
        }
    }
}

}  // namespace

namespace {

// The sort's partitioning followed one key at a time, as plainly as it can be
// written: median of three, scans that stop on keys equal to the pivot, the
// larger part deferred. The sort must make exactly its exchanges, so the
// order among equal keys must agree too (ascending, permutation only).
Values plain_quicksort(const Values& keys)
{
    const auto n = static_cast<std::int32_t>(keys.size());
    Values perm(keys.size());
    std::iota(perm.begin(), perm.end(), 1);
    const auto key = [&](std::int32_t entry) {
        return keys[static_cast<std::size_t>(perm[static_cast<std::size_t>(entry)] - 1)];
    };
    const auto swap = [&](std::int32_t a, std::int32_t b) {
        std::swap(perm[static_cast<std::size_t>(a)], perm[static_cast<std::size_t>(b)]);
    };
    std::vector<std::pair<std::int32_t, std::int32_t>> pending;
    std::int32_t i = 0, j = n - 1;
    for (;;) {
        while (j - i >= 1) {
            const std::int32_t t =
                i + static_cast<std::int32_t>(static_cast<float>(j - i) * 0.4140625f);
            if (key(i) > key(t)) swap(i, t);
            if (key(j) < key(t)) {
                swap(j, t);
                if (key(i) > key(t)) swap(i, t);
            }
            const std::int32_t x = key(t);
            std::int32_t k = i, l = j;
            for (;;) {
                do --l;
                while (key(l) > x);
                do ++k;
                while (key(k) < x);
                if (k > l) break;
                swap(l, k);
            }
            if (l - i > j - k) {
                pending.emplace_back(i, l);
                i = k;
            } else {
                pending.emplace_back(k, j);
                j = l;
            }
        }
        if (pending.empty()) return perm;
        std::tie(i, j) = pending.back();
        pending.pop_back();
    }
}

TEST(IpsortProperties, MakesTheSameExchangesAsThePlainPartitioning)
{
    std::mt19937 rng(20261208);
    for (std::int32_t n : {2, 3, 5, 64, 129, 130, 257, 1000, 4099, 65536, 200003}) {
        for (std::uint32_t distinct : {2u, 7u, 1000u, 4000000000u}) {
            Values keys(static_cast<std::size_t>(n));
            for (auto& k : keys) k = static_cast<std::int32_t>(rng() % distinct);
            ASSERT_EQ(run_ipsort(keys, 1).perm, plain_quicksort(keys))
                << "n " << n << " distinct " << distinct;
        }
    }
}

}  // namespace

namespace {

// FNV-1a (64 bits) over the values, each as 4 bytes from the lowest.
std::uint64_t digest(const Values& values)
{
    std::uint64_t hash = 14695981039346656037u;
    for (const std::int32_t value : values) {
        for (unsigned byte = 0; byte < 4; ++byte) {
            hash ^= (static_cast<std::uint32_t>(value) >> (8 * byte)) & 0xFFu;
            hash *= 1099511628211u;
        }
    }
    return hash;
}

// The two sorts of the renumbering of the largest example (97 3000 1 3 100
// 10 9, seed 12345: 592,100 animals), with keys built as sim/renumbering.cpp
// builds them and work space lent as there. The digests were obtained by
// running the sort as it was before it carried the keys (sort/ipsort.cpp of
// commit 4f6b916, compiled on its own) on the same keys, taken from the same
// simulation.
TEST(IpsortKnownResults, LargestExampleSortsAsBefore)
{
    const pedsim::design::Parameters p{97, 3000, 1, 3, 100, 10, 9, 12345};
    ASSERT_EQ(pedsim::design::check_parameters(p), pedsim::design::Verdict::runs);
    pedsim::random::UniformGenerator generator;
    const pedsim::sim::Tables t = pedsim::sim::simulate(p, generator);
    const auto animals = static_cast<std::size_t>(t.animal_count);
    Values all_keys(3 * animals), identifiers(animals), perm(3 * animals), work(3 * animals);
    for (std::size_t r = 0; r < animals; ++r) {
        all_keys[3 * r] = identifiers[r] = t.pedigree.id(r);
        all_keys[3 * r + 1] = t.pedigree.sire(r);
        all_keys[3 * r + 2] = t.pedigree.dam(r);
    }
    pedsim::sort::ipsort(all_keys, static_cast<std::int32_t>(3 * animals), perm, 1, work);
    EXPECT_EQ(digest(perm), 0x1651a802743f84ecu);
    perm.resize(animals);
    pedsim::sort::ipsort(identifiers, t.animal_count, perm, 1, work);
    EXPECT_EQ(digest(perm), 0x311c470b9790f4e8u);
}

}  // namespace
