// Known permutations of ranper and the properties every one must have.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "random/ranper.h"

namespace pedsim {
namespace {

std::vector<float> first_permutation(std::int32_t seed, std::int32_t n)
{
    random::UniformGenerator g;
    std::vector<float> perm(static_cast<std::size_t>(std::max(n, 1)), -1.0f);
    std::int32_t iseed = seed;
    random::ranper(g, n, iseed, perm);
    return perm;
}

TEST(Ranper, KnownFirstPermutations)
{
    EXPECT_EQ(first_permutation(12345, 6), (std::vector<float>{1, 3, 6, 4, 5, 2}));
    EXPECT_EQ(first_permutation(12345, 5), (std::vector<float>{4, 5, 2, 1, 3}));
    EXPECT_EQ(first_permutation(12345, 10), (std::vector<float>{6, 9, 5, 4, 8, 7, 3, 10, 2, 1}));
    EXPECT_EQ(first_permutation(0, 5), (std::vector<float>{2, 1, 4, 3, 5}));
}

TEST(Ranper, DrawsOneValuePerPosition)
{
    random::UniformGenerator g;
    std::vector<float> perm(1);
    std::int32_t iseed = 7;
    random::ranper(g, 1, iseed, perm);
    EXPECT_EQ(perm[0], 1.0f);
    EXPECT_EQ(g.draws(), 1u);
    EXPECT_EQ(iseed, -1);
    perm.resize(300);
    random::ranper(g, 300, iseed, perm);
    EXPECT_EQ(g.draws(), 301u);
}

TEST(Ranper, ValueOfOneExchangesAPositionWithItself)
{
    // Seed 58629959 draws 1.0, 0.9139, 0.2899, 0.2809: positions 1 and 2 stay
    // (t = 5 is held to k = n), then 3 goes with 1 and 4 with 2. Without the
    // clamp, position 1 would go with 2 and the result would be 3 4 2 1.
    EXPECT_EQ(first_permutation(58629959, 4), (std::vector<float>{3, 4, 1, 2}));
}

TEST(Ranper, EmptyOrNegativeLengthDrawsNothingAndKeepsASeedPending)
{
    for (std::int32_t n : {0, -3}) {
        random::UniformGenerator g;
        std::vector<float> perm{42.0f};
        std::int32_t iseed = 12345;
        random::ranper(g, n, iseed, perm);
        EXPECT_EQ(iseed, 12345);
        EXPECT_EQ(perm[0], 42.0f);
        EXPECT_EQ(g.draws(), 0u);
        // The pending seed still starts the stream as if nothing had happened.
        EXPECT_EQ(first_permutation(12345, 6), [&] {
            std::vector<float> p(6);
            random::ranper(g, 6, iseed, p);
            return p;
        }());
    }
}

TEST(Ranper, EveryResultIsAPermutation)
{
    random::UniformGenerator g;
    std::int32_t iseed = 2024;
    for (std::int32_t n = 1; n <= 2000; n += 37) {
        std::vector<float> perm(static_cast<std::size_t>(n));
        random::ranper(g, n, iseed, perm);
        std::vector<float> sorted = perm;
        std::sort(sorted.begin(), sorted.end());
        for (std::int32_t k = 0; k < n; ++k)
            ASSERT_EQ(sorted[static_cast<std::size_t>(k)], static_cast<float>(k + 1))
                << "n = " << n;
    }
}

}  // namespace
}  // namespace pedsim
