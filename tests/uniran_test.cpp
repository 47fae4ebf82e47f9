// Known answers of the uniform generator: its first draws for several seeds
// and its state rules. Values are written as k / m1 in single precision, k
// being the lagged difference the generator is known to produce.
#include <gtest/gtest.h>

#include <vector>

#include "random/uniran.h"

namespace pedsim {
namespace {

constexpr float unseeded_modulus = 32767.0f;
constexpr float seeded_modulus = 2147483647.0f;  // rounds to 2^31 in single precision

std::vector<float> draws(random::UniformGenerator& g, std::int32_t seed, int count)
{
    std::vector<float> x(static_cast<std::size_t>(count));
    std::int32_t iseed = seed;
    random::uniran(g, count, iseed, x);
    return x;
}

TEST(Uniran, UnseededStreamStartsFromTheBuiltInTable)
{
    random::UniformGenerator g;
    const std::vector<float> x = draws(g, 0, 3);
    EXPECT_EQ(x[0], 26914.0f / unseeded_modulus);
    EXPECT_EQ(x[1], 20189.0f / unseeded_modulus);
    EXPECT_EQ(x[2], 5652.0f / unseeded_modulus);
}

TEST(Uniran, UnseededStreamReachesExactlyZeroAtDraw14791)
{
    random::UniformGenerator g;
    const std::vector<float> x = draws(g, -7, 14791);
    EXPECT_EQ(x[14790], 0.0f);
    for (float v : x) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 32766.0f / unseeded_modulus);
    }
}

TEST(Uniran, SeededFirstDraws)
{
    random::UniformGenerator one;
    EXPECT_EQ(draws(one, 1, 3),
              (std::vector<float>{214587535.0f / seeded_modulus, 995741904.0f / seeded_modulus,
                                  1947976207.0f / seeded_modulus}));
    random::UniformGenerator g;
    const std::vector<float> x = draws(g, 12345, 3);
    EXPECT_EQ(x, (std::vector<float>{1235793936.0f / seeded_modulus, 237403728.0f / seeded_modulus,
                                     244397456.0f / seeded_modulus}));
    EXPECT_FLOAT_EQ(x[0], 0.575461388f);
    EXPECT_FLOAT_EQ(x[1], 0.110549726f);
    EXPECT_FLOAT_EQ(x[2], 0.113806434f);
}

TEST(Uniran, ValueNearTheModulusRoundsToExactlyOne)
{
    random::UniformGenerator g;
    EXPECT_EQ(draws(g, 58629959, 1)[0], 1.0f);
}

TEST(Uniran, EvenSeedActsAsTheOddSeedBelowIt)
{
    for (std::int32_t q : {1, 2, 6173, 1073741823}) {
        random::UniformGenerator even, odd;
        EXPECT_EQ(draws(even, 2 * q, 50), draws(odd, 2 * q - 1, 50)) << "q = " << q;
    }
}

TEST(Uniran, SeedAboveTheModulusIsHeldAtIt)
{
    random::UniformGenerator largest, modulus;
    // 2147483647 is odd and equal to the modulus, so nothing changes it.
    EXPECT_EQ(draws(largest, 2147483647, 20), draws(modulus, 2147483647, 20));
    for (float v : draws(largest, 0, 1000)) EXPECT_LE(v, 1.0f);
}

TEST(Uniran, SeedIsTakenOnceAndReportedAsMinusOne)
{
    random::UniformGenerator g;
    std::int32_t iseed = 12345;
    std::vector<float> none;
    random::uniran(g, 0, iseed, none);  // no value wanted, but the table is seeded
    EXPECT_EQ(iseed, -1);
    random::UniformGenerator reference;
    EXPECT_EQ(draws(g, iseed, 3), draws(reference, 12345, 3));
}

TEST(Uniran, ManyValuesAtOnceEqualOneAtATime)
{
    random::UniformGenerator batch, single;
    const std::vector<float> all = draws(batch, 99, 40);
    std::int32_t iseed = 99;
    for (float expected : all) {
        float u = -1.0f;
        random::uniran(single, 1, iseed, std::span<float>(&u, 1));
        EXPECT_EQ(u, expected);
        EXPECT_EQ(iseed, -1);
    }
    EXPECT_EQ(single.draws(), 40u);
}

TEST(Uniran, ProcessWideGeneratorKeepsItsStateAcrossCalls)
{
    std::int32_t iseed = 12345;
    float first = 0.0f, second = 0.0f;
    random::uniran(1, iseed, std::span<float>(&first, 1));
    random::uniran(1, iseed, std::span<float>(&second, 1));
    random::UniformGenerator reference;
    EXPECT_EQ((std::vector<float>{first, second}), draws(reference, 12345, 2));
}

}  // namespace
}  // namespace pedsim
