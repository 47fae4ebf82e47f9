// Inbreeding and mean coancestry: exact values on pedigrees worked by hand,
// the two methods against each other, and the mean over many simulations.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "measures/analysis.h"
#include "relationship/discrete_generations.h"
#include "relationship/generation_groups.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/mean_coancestry.h"
#include "tests/stats_pedigrees.h"

namespace {

using pedsim::design::Parameters;
using pedsim::pedigree::Pedigree;
using stats_test::animal_named;
using stats_test::written_pedigree;

// Both methods on one pedigree; the carried matrix only where it applies.
struct BothMethods {
    pedsim::relationship::Relatedness by_paths;
    std::optional<pedsim::relationship::Relatedness> carried;
};

BothMethods both_methods(const Pedigree& pedigree)
{
    const auto groups = pedsim::relationship::group_by_generation(pedigree);
    BothMethods found;
    const auto by_paths = pedsim::relationship::inbreeding_by_paths(pedigree, {});
    found.by_paths.inbreeding = by_paths.inbreeding;
    found.by_paths.mean_coancestry =
        pedsim::relationship::mean_coancestry_by_products(pedigree, by_paths, groups, {});
    if (pedsim::relationship::has_discrete_generations(pedigree, groups))
        found.carried = pedsim::relationship::coancestry_carried_forward(
            pedigree, groups, pedsim::relationship::most_families(pedigree.size()), {});
    return found;
}

constexpr const char* full_sib_line = "1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 4\n7 5 6\n8 5 6\n"
                                      "9 7 8\n10 7 8\n11 9 10\n12 9 10\n13 11 12\n14 11 12\n";

TEST(StatsInbreeding, ExactValuesOnHandWorkedPedigrees)
{
    struct Case {
        const char* what;
        const char* lines;
        const char* animal;
        double inbreeding;
        bool discrete;
    };
    const Case cases[] = {
        {"full sibs, 1st generation", full_sib_line, "3", 0, true},
        {"full sibs, 2nd generation", full_sib_line, "5", 0.25, true},
        {"full sibs, 3rd generation", full_sib_line, "7", 0.375, true},
        {"full sibs, 4th generation", full_sib_line, "10", 0.5, true},
        {"full sibs, 5th generation", full_sib_line, "11", 0.59375, true},
        {"full sibs, 6th generation", full_sib_line, "14", 0.671875, true},
        {"half sibs", "1 0 0\n2 0 0\n3 0 0\n4 1 2\n5 1 3\n6 4 5\n", "6", 0.125, true},
        {"parent and offspring", "1 0 0\n2 0 0\n3 1 2\n4 1 3\n", "4", 0.25, false},
        {"unrelated parents", "1 0 0\n2 0 0\n3 0 0\n4 0 0\n5 1 2\n6 3 4\n7 5 6\n", "7", 0, true},
        {"half sibs, one dam unknown", "1 0 0\n2 0 0\n3 1 0\n4 1 2\n5 3 4\n", "5", 0.125, true},
        {"sire unknown", "1 0 0\n2 0 0\n3 1 2\n4 0 3\n", "4", 0, true},
        {"founder dam of two groups", "1 0 0\n2 0 0\n3 1 2\n4 3 2\n", "4", 0.25, false},
        {"founder dam of a later group", "1 0 0\n2 0 0\n3 1 2\n4 3 0\n5 0 0\n6 0 0\n7 4 6\n", "7",
         0, true},
        {"sire reused a generation later", "1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 5\n", "6", 0.375,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Pedigree pedigree = written_pedigree(c.lines);
        const std::size_t animal = animal_named(pedigree, c.animal);
        const BothMethods found = both_methods(pedigree);
        EXPECT_DOUBLE_EQ(found.by_paths.inbreeding[animal], c.inbreeding);
        ASSERT_EQ(found.carried.has_value(), c.discrete);
        if (c.discrete) {
            EXPECT_DOUBLE_EQ(found.carried->inbreeding[animal], c.inbreeding);
        }
        EXPECT_DOUBLE_EQ(pedsim::measures::analyse(pedigree, {}, {}).animals.inbreeding[animal],
                         c.inbreeding);
    }
}

// x'Ax / (2 n^2) summed by hand: {1, 2} unrelated founders: (1/2 + 1/2) / 4;
// full sibs 3, 4: (1/2 + 1/2 + 2/4) / 4; parent 3 and its offspring 4 by its
// own sire 1 in one group: f33 = 1/2, f44 = 5/8, f34 = 3/8. Last, two
// populations (1-5, and 11-14 absent from group 1), and 20 with no relative:
// group 1 holds full sibs and 20, group 2 holds 5 (F = 1/4) and founder 12.
TEST(StatsInbreeding, MeanCoancestryOnHandWorkedPedigrees)
{
    struct Case {
        const char* lines;
        std::vector<double> mean;
        bool discrete;
    };
    const Case cases[] = {
        {"1 0 0 0\n2 0 0 0\n3 1 2 1\n4 1 2 1\n", {0.25, 0.375}, true},
        {"1 0 0 0\n2 0 0 0\n3 1 2 1\n4 1 3 1\n", {0.25, (0.5 + 0.625 + 2 * 0.375) / 4}, false},
        {"1 0 0 0\n2 0 0 0\n11 0 0 0\n3 1 2 1\n4 1 2 1\n20 0 0 1\n5 3 4 2\n12 0 0 2\n"
         "13 11 12 3\n14 11 12 3\n",
         {1.5 / 9, 2.0 / 9, (0.625 + 0.5) / 4, 0.375},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const Pedigree pedigree = written_pedigree(c.lines);
        const BothMethods found = both_methods(pedigree);
        ASSERT_EQ(found.carried.has_value(), c.discrete);
        ASSERT_EQ(found.by_paths.mean_coancestry.size(), c.mean.size());
        for (std::size_t g = 0; g < c.mean.size(); ++g) {
            EXPECT_DOUBLE_EQ(found.by_paths.mean_coancestry[g], c.mean[g]);
            if (c.discrete) {
                EXPECT_DOUBLE_EQ(found.carried->mean_coancestry[g], c.mean[g]);
            }
        }
    }
}

// pedsim's pedigrees are in discrete generations: the matrix carried forward
// and the ancestor paths with the matrix products must agree everywhere.
TEST(StatsInbreeding, MethodsAgreeOnSimulatedPedigrees)
{
    const Parameters designs[] = {
        {3, 2, 3, 4, 2, 2, 3, 12345}, {12, 25, 40, 3, 20, 30, 2, 271828},
        {12, 10, 4, 5, 1, 1, 1, 7},   {30, 4, 1, 4, 2, 1, 5, 99},
        {30, 4, 1, 4, 2, 1, 5, 100},  {20, 40, 2, 3, 10, 3, 2, 5},
    };
    for (const Parameters& design : designs) {
        SCOPED_TRACE(design.ngen * 1000 + design.nsire);
        const Pedigree pedigree = stats_test::simulated_pedigree(design);
        const BothMethods found = both_methods(pedigree);
        ASSERT_TRUE(found.carried.has_value());
        for (std::size_t i = 0; i < pedigree.size(); ++i)
            ASSERT_NEAR(found.carried->inbreeding[i], found.by_paths.inbreeding[i], 1e-12) << i;
        const std::size_t groups = found.by_paths.mean_coancestry.size();
        ASSERT_EQ(groups, static_cast<std::size_t>(design.ngen) + 2);
        for (std::size_t g = 0; g < groups; ++g)
            EXPECT_NEAR(found.carried->mean_coancestry[g], found.by_paths.mean_coancestry[g],
                        1e-12);
    }
}

// Lines of pedsim's pedigree for `design`, each identifier but 0 (unknown)
// prefixed so that two populations share no animal.
std::vector<std::string> population_lines(const Parameters& design, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream text(stats_test::simulated_text(design));
    for (std::string animal, sire, dam, generation; text >> animal >> sire >> dam >> generation;) {
        const auto named = [&](const std::string& id) { return id == "0" ? id : prefix + id; };
        lines.push_back(named(animal) + ' ' + named(sire) + ' ' + named(dam) + ' ' + generation);
    }
    return lines;
}

// Populations joined in one file share no ancestor: each is carried forward
// with a matrix of its own families, and must give every animal the F it has
// in its population alone, to the last bit,
// and the mean coancestries the ancestor paths give, whether each
// population's rows stand together or the populations' rows alternate (so
// that their families interleave in the matrix).
TEST(StatsInbreeding, JoinedPopulationsKeepTheirOwnValues)
{
    struct Case {
        std::vector<Parameters> designs;
        bool alternate;
    };
    const Parameters small{3, 2, 3, 4, 2, 2, 3, 12345}, wide{12, 25, 40, 3, 20, 30, 2, 271828},
        deep{20, 40, 2, 3, 10, 3, 2, 5}, other_wide{12, 25, 40, 3, 20, 30, 2, 31415};
    const Case cases[] = {
        {{wide, other_wide}, false},
        {{wide, other_wide}, true},
        {{deep, small, wide}, false},
        {{small, deep, wide}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.designs.size() * 10 + (c.alternate ? 1 : 0));
        std::vector<std::vector<std::string>> populations;
        for (std::size_t k = 0; k < c.designs.size(); ++k)
            populations.push_back(population_lines(c.designs[k], "p" + std::to_string(k) + "_"));
        std::string joined;
        if (c.alternate) {
            std::size_t longest = 0;
            for (const auto& lines : populations) longest = std::max(longest, lines.size());
            for (std::size_t line = 0; line < longest; ++line)
                for (const auto& lines : populations)
                    if (line < lines.size()) joined += lines[line] + '\n';
        } else {
            for (const auto& lines : populations)
                for (const std::string& line : lines) joined += line + '\n';
        }
        const Pedigree pedigree = written_pedigree(joined);
        const BothMethods found = both_methods(pedigree);
        ASSERT_TRUE(found.carried.has_value());
        for (std::size_t i = 0; i < pedigree.size(); ++i)
            ASSERT_NEAR(found.carried->inbreeding[i], found.by_paths.inbreeding[i], 1e-12) << i;
        for (std::size_t g = 0; g < found.by_paths.mean_coancestry.size(); ++g)
            EXPECT_NEAR(found.carried->mean_coancestry[g], found.by_paths.mean_coancestry[g],
                        1e-12);
        for (std::size_t k = 0; k < populations.size(); ++k) {
            std::string alone;
            for (const std::string& line : populations[k]) alone += line + '\n';
            const Pedigree own = written_pedigree(alone);
            const BothMethods own_found = both_methods(own);
            ASSERT_TRUE(own_found.carried.has_value());
            for (std::size_t i = 0; i < own.size(); ++i)
                ASSERT_EQ(found.carried->inbreeding[animal_named(pedigree, own.names[i])],
                          own_found.carried->inbreeding[i])
                    << own.names[i];
        }
    }
}

// Design 12 10 4 5 1 1 1 over the 3,000 seeds 1, 3, ..., 5999: the mean F of
// the last historical generation (field 0) averages 0.13558 by an
// independent computation, with a standard error of 0.00024 over seeds.
TEST(StatsInbreeding, MeanOverSeedsOfTheLastHistoricalGeneration)
{
    constexpr int seeds = 3000;
    double sum = 0;
    for (int seed = 1; seed < 2 * seeds; seed += 2) {
        const Pedigree pedigree = stats_test::simulated_pedigree({12, 10, 4, 5, 1, 1, 1, seed});
        const pedsim::measures::Analysis analysis = pedsim::measures::analyse(pedigree, {}, {});
        ASSERT_EQ(analysis.generations[11].generation, 0);
        sum += analysis.generations[11].mean_f;
    }
    const double mean = sum / seeds;
    std::array<char, 32> shown{};
    RecordProperty("mean_f",
                   std::string(shown.data(),
                               std::to_chars(shown.data(), shown.data() + shown.size(), mean).ptr));
    EXPECT_NEAR(mean, 0.13558, 0.0001);
}

}  // namespace
