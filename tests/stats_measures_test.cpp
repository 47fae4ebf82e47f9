// The measures built on F: equivalent generations and individual increases,
// the per-generation table, founders, and the expected F of a design.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string_view>
#include <vector>

#include "measures/analysis.h"
#include "measures/expected_inbreeding.h"
#include "tests/stats_pedigrees.h"

namespace {

using pedsim::measures::analyse;
using pedsim::measures::Analysis;
using pedsim::pedigree::Pedigree;

// In a complete pedigree, ECG is the number of generations back to the
// founders (the founders' generation counting as the first), and
// dF_i = 1 - (1 - F_i)^(1 / (ECG - 1)) is defined from the third generation on.
TEST(StatsMeasures, EquivalentGenerationsAndIndividualIncreaseOnCompletePedigrees)
{
    const Pedigree pedigree = stats_test::simulated_pedigree({6, 3, 2, 4, 2, 2, 3, 11});
    const Analysis analysis = analyse(pedigree, {}, {});
    const std::int64_t founders_field = 1 - 6;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const double ecg = analysis.animals.equivalent_generations[i];
        const double f = analysis.animals.inbreeding[i];
        ASSERT_EQ(ecg, static_cast<double>(pedigree.generation[i] - founders_field)) << i;
        if (ecg <= 1) {
            EXPECT_TRUE(std::isnan(analysis.animals.individual_increase[i])) << i;
        } else {
            EXPECT_DOUBLE_EQ(analysis.animals.individual_increase[i],
                             1 - std::pow(1 - f, 1 / (ecg - 1)));
        }
    }
    // Full sibs of the third generation: F = 1/4 over ECG = 2, so dF_i = 1/4.
    const Pedigree line =
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n7 5 0\n");
    const Analysis sibs = analyse(line, {}, {});
    EXPECT_DOUBLE_EQ(sibs.animals.individual_increase[stats_test::animal_named(line, "5")], 0.25);
    // An unknown parent adds nothing: 7, of 5 (ECG 2) alone, has (1 + 2)/2.
    EXPECT_DOUBLE_EQ(sibs.animals.equivalent_generations[stats_test::animal_named(line, "7")], 1.5);
}

// Full-sib mating over four generations: mean F 0, 0, 1/4, 3/8; the rates
// 0, 1/4 and (3/8 - 1/4) / (3/4) = 1/6, Ne = 1 / (2 rate); undefined cells
// are the first row's rates and the ratio over the zero rate of row 1.
TEST(StatsMeasures, GenerationTableOfAFullSibLine)
{
    const Pedigree line =
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 4\n7 5 6\n8 5 6\n");
    const Analysis analysis = analyse(line, {}, {});
    ASSERT_EQ(analysis.generations.size(), 4u);
    const auto& rows = analysis.generations;
    const double mean_f[] = {0, 0, 0.25, 0.375};
    const double share[] = {0, 0, 1, 1};
    for (std::size_t t = 0; t < 4; ++t) {
        EXPECT_EQ(rows[t].generation, static_cast<std::int64_t>(t));
        EXPECT_EQ(rows[t].animals, 2u);
        EXPECT_EQ(rows[t].sires, t < 3 ? 1u : 0u);
        EXPECT_EQ(rows[t].dams, t < 3 ? 1u : 0u);
        EXPECT_DOUBLE_EQ(rows[t].mean_f, mean_f[t]);
        EXPECT_DOUBLE_EQ(rows[t].inbred_share, share[t]);
        EXPECT_DOUBLE_EQ(rows[t].sd_f, 0);
        EXPECT_TRUE(std::isnan(rows[t].expected_f));
    }
    EXPECT_TRUE(std::isnan(rows[0].delta_f) && std::isnan(rows[0].ne_delta_f));
    EXPECT_TRUE(std::isnan(rows[0].delta_c) && std::isnan(rows[0].ne_delta_c));
    EXPECT_EQ(rows[1].delta_f, 0);
    EXPECT_TRUE(std::isnan(rows[1].ne_delta_f));
    EXPECT_DOUBLE_EQ(rows[2].delta_f, 0.25);
    EXPECT_DOUBLE_EQ(rows[2].ne_delta_f, 2);
    EXPECT_DOUBLE_EQ(rows[3].delta_f, 1.0 / 6);
    EXPECT_DOUBLE_EQ(rows[3].ne_delta_f, 3);
    // Coancestry of full sibs: (1/2 + 1/2 + 2/4) / 4 = 3/8 from founders' 1/4.
    EXPECT_DOUBLE_EQ(rows[1].delta_c, (0.375 - 0.25) / 0.75);
    // Row 3: F = 3/8, ECG = 3, dF_i = 1 - (5/8)^(1/2) for both, so sd 0.
    EXPECT_DOUBLE_EQ(rows[3].mean_individual_increase, 1 - std::sqrt(0.625));
    EXPECT_DOUBLE_EQ(rows[3].ne_individual, 1 / (2 * (1 - std::sqrt(0.625))));
    EXPECT_DOUBLE_EQ(rows[3].ne_individual_se, 0);
    EXPECT_EQ(analysis.method, "discrete generations: coancestry matrix carried forward");
}

// fe of the last generation: two founders behind full sibs give 2; a parent
// without a row is a founder of its own taking half; unequal contributions
// 1/2, 1/4, 1/4 (animal 5 of founder 1 and of 4, itself of 2 and 3) give
// 1 / (1/4 + 2/16) = 8/3.
TEST(StatsMeasures, FoundersAndTheirEffectiveNumber)
{
    struct Case {
        const char* lines;
        std::size_t founders;
        double effective;
    };
    const Case cases[] = {
        {"1 0 0\n2 0 0\n3 1 2\n4 1 2\n", 2, 2},
        {"1 0 0\n3 1 0\n", 1, 2},
        {"1 0 0 0\n2 0 0 0\n3 0 0 0\n4 2 3 1\n5 1 4 2\n", 3, 8.0 / 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const Analysis analysis = analyse(stats_test::written_pedigree(c.lines), {}, {});
        EXPECT_EQ(analysis.founders, c.founders);
        EXPECT_DOUBLE_EQ(analysis.effective_founders, c.effective);
    }
}

// Nm = 10, d = 4, k = 5: F = 0.014447 at t = 2 and 0.133781 at t = 11,
// 1/c = 34.61, Wright's Ne = 32; in a pedsim file of 12 10 4 5 those are the
// rows of fields -9 and 0. Rows beyond the protocol's offspring have none.
TEST(StatsMeasures, ExpectedInbreedingOfADesign)
{
    const pedsim::design::Parameters design{12, 10, 4, 5, 2, 2, 2, 3};
    const Analysis analysis = analyse(stats_test::simulated_pedigree(design), design, {});
    ASSERT_EQ(analysis.generations.size(), 14u);
    EXPECT_EQ(analysis.generations[2].generation, -9);
    EXPECT_NEAR(analysis.generations[2].expected_f, 0.014447, 5e-7);
    EXPECT_EQ(analysis.generations[11].generation, 0);
    EXPECT_NEAR(analysis.generations[11].expected_f, 0.133781, 5e-7);
    EXPECT_EQ(analysis.generations[1].expected_f, 0);
    EXPECT_GT(analysis.generations[13].expected_f, analysis.generations[12].expected_f);
    ASSERT_TRUE(analysis.design.has_value());
    EXPECT_EQ(analysis.design->males, 10);
    EXPECT_EQ(analysis.design->females, 40);
    EXPECT_NEAR(analysis.design->inverse_c, 34.61, 0.005);
    EXPECT_DOUBLE_EQ(analysis.design->wright_ne, 32);
    EXPECT_TRUE(std::isnan(pedsim::measures::expected_inbreeding(design, 15)[14]));
}

// The front shows progress from these calls: fractions within 0 .. 1, ending
// at 1, and few enough to print, on both methods.
TEST(StatsMeasures, ProgressIsReportedSparingly)
{
    const Pedigree flock = stats_test::simulated_pedigree({12, 25, 40, 3, 20, 30, 2, 271828});
    const Pedigree overlapping = stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 3\n");
    for (const Pedigree* pedigree : {&flock, &overlapping}) {
        std::size_t calls = 0;
        double last = -1;
        analyse(*pedigree, {}, [&](std::string_view stage, double done) {
            ++calls;
            EXPECT_FALSE(stage.empty());
            EXPECT_TRUE(done >= 0 && done <= 1) << done;
            last = done;
        });
        EXPECT_LE(calls, 300u);
        EXPECT_EQ(last, 1);
    }
}

}  // namespace
