// The conventions of the R pedigree packages that pedsim-stats meets on
// request: labels of an unknown parent, selfing, and the founders' rule of
// the effective number of founders.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "measures/ancestry.h"
#include "pedigree/pedigree_reader.h"
#include "relationship/discrete_generations.h"
#include "relationship/generation_groups.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/mean_coancestry.h"
#include "tests/stats_pedigrees.h"

namespace {

using pedsim::measures::FounderRule;
using pedsim::pedigree::Pedigree;
using pedsim::pedigree::read_pedigree;
using pedsim::pedigree::ReadingRules;
using stats_test::animal_named;

ReadingRules rules_with(std::vector<std::string> unknown_labels, bool selfing = false)
{
    ReadingRules rules;
    rules.unknown_labels = std::move(unknown_labels);
    rules.selfing = selfing;
    return rules;
}

// Two animals whose sire is written "unknown" (or "-9") have an offspring:
// half sibs through that sire (F = 1/8) unless the label marks an unknown
// parent (F = 0). The reader says so once per such parent.
TEST(StatsConventions, ReadsLabelsOfAnUnknownParentOnRequest)
{
    const std::string text = "a unknown B\nb unknown C\nc -9 B\nd -9 C\nx a b\ny c d\n";
    const struct {
        const char* what;
        ReadingRules rules;
        double f_x, f_y;
        std::vector<std::string> notes;
    } cases[] = {
        {"built-in marks only",
         {},
         0.125,
         0.125,
         {"ped: line 1: parent \"unknown\" has no row and 2 offspring, related through it; if it "
          "marks an unknown parent, give --unknown unknown",
          "ped: line 3: parent \"-9\" has no row and 2 offspring, related through it; if it marks "
          "an unknown parent, give --unknown -9"}},
        {"--unknown unknown,-9", rules_with({"unknown", "-9"}), 0, 0, {}},
        {"--unknown UNKNOWN (any case)",
         rules_with({"UNKNOWN"}),
         0,
         0.125,
         {"ped: line 3: parent \"-9\""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Pedigree p = read_pedigree(text, "ped", c.rules);
        const std::vector<double> f = pedsim::relationship::inbreeding_by_paths(p, {}).inbreeding;
        EXPECT_EQ(f[animal_named(p, "x")], c.f_x);
        EXPECT_EQ(f[animal_named(p, "y")], c.f_y);
        ASSERT_EQ(p.notes.size(), c.notes.size());
        for (std::size_t k = 0; k < c.notes.size(); ++k)
            EXPECT_TRUE(p.notes[k].starts_with(c.notes[k])) << p.notes[k];
    }
}

// A selfing series: each animal the offspring of its parent selfed, F =
// (1 + F_parent) / 2 = 1/2, 3/4, 7/8, ..., and the coancestry of a lone
// animal with itself (1 + F) / 2, by both methods; ECG one per generation;
// every contribution from one founder.
TEST(StatsConventions, SelfingIsExactByBothMethods)
{
    const std::string text = "P 0 0\nA P P\nB A A\nC B B\nD C C\nE D D\n";
    try {
        read_pedigree(text, "ped");
        ADD_FAILURE() << "selfing read without --selfing";
    } catch (const pedsim::common::Failure& failure) {
        EXPECT_STREQ(failure.what(), "ped: line 2: \"P\" is used as a dam here and as a sire on "
                                     "line 2 (give --selfing for a pedigree where an individual "
                                     "is both parents)");
    }
    const Pedigree p = read_pedigree(text, "ped", rules_with({}, true));
    const auto groups = pedsim::relationship::group_by_generation(p);
    ASSERT_TRUE(pedsim::relationship::has_discrete_generations(p, groups));
    const auto found = pedsim::relationship::inbreeding_by_paths(p, {});
    const std::vector<double>& by_paths = found.inbreeding;
    const std::vector<double> coancestry =
        pedsim::relationship::mean_coancestry_by_products(p, found, groups, {});
    const auto carried = pedsim::relationship::coancestry_carried_forward(
        p, groups, pedsim::relationship::most_families(p.size()), {});
    ASSERT_TRUE(carried.has_value());
    const std::vector<double> ecg = pedsim::measures::equivalent_generations(p);
    double f = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        SCOPED_TRACE(p.names[i]);
        EXPECT_EQ(by_paths[i], f);
        EXPECT_EQ(carried->inbreeding[i], f);
        EXPECT_EQ(coancestry[i], (1 + f) / 2);
        EXPECT_EQ(carried->mean_coancestry[i], (1 + f) / 2);
        EXPECT_EQ(ecg[i], static_cast<double>(i));
        f = (1 + f) / 2;
    }
    const std::vector<pedsim::pedigree::AnimalIndex> last = {
        static_cast<pedsim::pedigree::AnimalIndex>(5)};
    EXPECT_EQ(pedsim::measures::effective_founders(p, last), 1);
}

// fe of {C, D}, C with one known parent A, D of A and B, worked by hand:
// C gives 1/4 to A and 1/4 to its missing dam, D 1/4 to each of A and B.
// Missing dam a founder: 1 / (1/4 + 1/16 + 1/16) = 8/3. Known founders only:
// A 1/2 and B 1/4 rescaled to 2/3 and 1/3: 1 / (4/9 + 1/9) = 9/5.
TEST(StatsConventions, EffectiveFoundersByEitherRule)
{
    const Pedigree p = stats_test::written_pedigree("A 0 0\nB 0 0\nC A 0\nD A B\n");
    EXPECT_EQ(pedsim::measures::count_half_founders(p), 1u);
    const std::vector<pedsim::pedigree::AnimalIndex> group = {2, 3};
    EXPECT_DOUBLE_EQ(pedsim::measures::effective_founders(p, group), 8.0 / 3);
    EXPECT_DOUBLE_EQ(
        pedsim::measures::effective_founders(p, group, FounderRule::missing_parent_is_founder),
        8.0 / 3);
    EXPECT_DOUBLE_EQ(
        pedsim::measures::effective_founders(p, group, FounderRule::known_founders_only), 9.0 / 5);
}

}  // namespace
