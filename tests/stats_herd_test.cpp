// The measures of herd books and of the established pedigree programs: birth
// years and generation intervals, Ne per generation from cohorts, fa, fg,
// completeness and mean kinship with a reference population.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "measures/analysis.h"
#include "measures/ancestry.h"
#include "measures/cohort_effective_size.h"
#include "measures/generation_interval.h"
#include "measures/generation_table.h"
#include "measures/pedigree_completeness.h"
#include "pedigree/birth_dates.h"
#include "stats/options.h"
#include "tests/stats_pedigrees.h"

namespace {

using namespace pedsim::pedigree;
using namespace pedsim::relationship;
using namespace pedsim::measures;
using namespace pedsim::stats;

// Founders S1, D1, S2, D2; A (born 1996, a sire later: a son), B (1997, a dam
// later: a daughter), C (1999, no offspring: sex unknown), E (2003, of A and B).
constexpr std::string_view ages_pedigree = "S1 0 0 1990\nD1 0 0 1992\nS2 0 0 1991\nD2 0 0 1993\n"
                                           "A S1 D1 1996\nB S2 D2 1997\nC S1 D2 1999\nE A B 2003\n";

TEST(StatsHerd, GenerationIntervalsOfAHandMadeHerd)
{
    const Pedigree herd = stats_test::written_pedigree(ages_pedigree);
    const Analysis analysis = analyse(herd, {}, {});
    ASSERT_EQ(analysis.time.scale, TimeScale::year);
    EXPECT_TRUE(analysis.time.assumed);
    ASSERT_TRUE(analysis.interval);
    const GenerationInterval& l = *analysis.interval;
    // Sires' ages 6, 6, 9, 7; dams' 4, 4, 6, 6.
    const struct {
        const char* pathway;
        Pathway found;
        double mean;
        std::size_t pairs;
    } cases[] = {
        {"overall", l.overall, 6, 8},
        {"sire", l.sire, 7, 4},
        {"dam", l.dam, 5, 4},
        {"sire-son", l.sire_son, 6, 1},
        {"sire-daughter", l.sire_daughter, 6, 1},
        {"dam-son", l.dam_son, 4, 1},
        {"dam-daughter", l.dam_daughter, 4, 1},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(c.found.mean, c.mean) << c.pathway;
        EXPECT_EQ(c.found.pairs, c.pairs) << c.pathway;
    }
    // Per cohort: founders none, 1996 (6+4)/2, 1997 (6+4)/2, 1999 (9+6)/2, 2003 (7+6)/2.
    const double cohort_l[] = {NAN, NAN, NAN, NAN, 5, 5, 7.5, 6.5};
    ASSERT_EQ(analysis.generations.size(), 8u);
    for (std::size_t g = 0; g < 8; ++g) {
        if (std::isnan(cohort_l[g]))
            EXPECT_TRUE(std::isnan(analysis.generations[g].generation_interval)) << g;
        else
            EXPECT_DOUBLE_EQ(analysis.generations[g].generation_interval, cohort_l[g]) << g;
    }
    // Default reference: the cohorts of the last round(6) years, 1998 to 2003.
    EXPECT_EQ(analysis.reference.from, 1998);
    EXPECT_EQ(analysis.reference_animals, 2u);
}

// With a sex column the four pathways take the offspring's recorded sex, so
// C (a daughter) and E (a son), who have no offspring, count; an animal whose
// sex is not recorded falls back to its use as a parent, as without the column.
TEST(StatsHerd, SexColumnGivesTheOffspringsSex)
{
    const struct {
        const char* sexes;  // of C and E
        std::string_view lines;
        double sire_son, sire_daughter, dam_son, dam_daughter;
        std::size_t pairs;  // in each pathway
    } cases[] = {
        {"recorded",
         "id sire dam year sex\nS1 0 0 1990 M\nD1 0 0 1992 F\nS2 0 0 1991 M\n"
         "D2 0 0 1993 F\nA S1 D1 1996 M\nB S2 D2 1997 F\nC S1 D2 1999 F\nE A B 2003 M\n",
         6.5, 7.5, 5, 5, 2},
        {"unrecorded",
         "id sire dam year sex\nS1 0 0 1990 M\nD1 0 0 1992 F\nS2 0 0 1991 M\n"
         "D2 0 0 1993 F\nA S1 D1 1996 M\nB S2 D2 1997 F\nC S1 D2 1999 -\nE A B 2003 -\n",
         6, 6, 4, 4, 1},
    };
    for (const auto& c : cases) {
        const GenerationInterval l = generation_interval(stats_test::written_pedigree(c.lines));
        EXPECT_DOUBLE_EQ(l.sire_son.mean, c.sire_son) << c.sexes;
        EXPECT_DOUBLE_EQ(l.sire_daughter.mean, c.sire_daughter) << c.sexes;
        EXPECT_DOUBLE_EQ(l.dam_son.mean, c.dam_son) << c.sexes;
        EXPECT_DOUBLE_EQ(l.dam_daughter.mean, c.dam_daughter) << c.sexes;
        for (const Pathway& p : {l.sire_son, l.sire_daughter, l.dam_son, l.dam_daughter})
            EXPECT_EQ(p.pairs, c.pairs) << c.sexes;
        EXPECT_EQ(l.overall.pairs, 8u) << c.sexes;
    }
}

// The time column read as asked or as its values suggest.
TEST(StatsHerd, TimeScaleDetection)
{
    const struct {
        std::string_view lines;
        std::optional<TimeScale> asked;
        TimeScale scale;
        bool assumed;
    } cases[] = {
        {"1 0 0 1000\n2 1 0 3000\n", std::nullopt, TimeScale::year, true},
        {"1 0 0 999\n2 1 0 2000\n", std::nullopt, TimeScale::generation, true},
        {"1 0 0 2000\n2 1 0 3001\n", std::nullopt, TimeScale::generation, true},
        {"1 0 0 1\n2 1 0 2\n", TimeScale::year, TimeScale::year, false},
        {"1 0 0 2000\n2 1 0 2004\n", TimeScale::generation, TimeScale::generation, false},
        {"1001 0 0\n1002 1001 0\n", std::nullopt, TimeScale::generation, true},
    };
    for (const auto& c : cases) {
        const TimeReading reading = read_time_scale(stats_test::written_pedigree(c.lines), c.asked);
        EXPECT_EQ(reading.scale, c.scale) << c.lines;
        EXPECT_EQ(reading.assumed, c.assumed) << c.lines;
    }
}

// A herd book of dates, in each form the reader takes: 2000 and 2004 are
// leap years, so 2 July is the middle of the year and the ages are known to
// the day. Sire S born 2000.5, dam D 2001.0; A born 2004.0 (ages 3.5, 3),
// B born 2004.5 (ages 4, 3.5).
TEST(StatsHerd, DatedHerdGivesAgesToTheDay)
{
    const struct {
        const char* form;
        std::string_view lines;
    } cases[] = {
        {"YYYY-MM-DD", "S 0 0 2000-07-02\nD 0 0 2001-01-01\nA S D 2004-01-01\nB S D 2004-07-02\n"},
        {"YYYY/MM/DD", "S 0 0 2000/07/02\nD 0 0 2001/01/01\nA S D 2004/01/01\nB S D 2004/07/02\n"},
        {"DD.MM.YYYY", "S 0 0 02.07.2000\nD 0 0 01.01.2001\nA S D 01.01.2004\nB S D 02.07.2004\n"},
        {"one digit", "S 0 0 2000-7-2\nD 0 0 2001-1-1\nA S D 2004-1-1\nB S D 2004-7-2\n"},
    };
    for (const auto& c : cases) {
        const Pedigree herd = stats_test::written_pedigree(c.lines);
        const Analysis analysis = analyse(herd, {}, {});
        EXPECT_EQ(analysis.time.scale, TimeScale::date) << c.form;
        EXPECT_TRUE(analysis.time.assumed) << c.form;
        EXPECT_EQ(herd.generation[stats_test::animal_named(herd, "B")], 2004) << c.form;
        ASSERT_TRUE(analysis.interval) << c.form;
        EXPECT_DOUBLE_EQ(analysis.interval->overall.mean, 3.5) << c.form;
        EXPECT_DOUBLE_EQ(analysis.interval->sire.mean, 3.75) << c.form;
        EXPECT_DOUBLE_EQ(analysis.interval->dam.mean, 3.25) << c.form;
        // Cohorts 2000, 2001 and 2004 (A and B).
        ASSERT_EQ(analysis.generations.size(), 3u) << c.form;
        EXPECT_DOUBLE_EQ(analysis.generations[2].generation_interval, 3.5) << c.form;
    }
}

// A time column that is not all dates: refused by the reader when its first
// value is a date, and by --time date when it holds none.
TEST(StatsHerd, DatesRefused)
{
    try {
        stats_test::written_pedigree("S 0 0 2000-01-01\nA S 0 2004\n");
        ADD_FAILURE() << "a year after a date was read";
    } catch (const pedsim::common::Failure& failure) {
        EXPECT_STREQ(failure.what(), "written: line 2: time \"2004\" is not a date (YYYY-MM-DD, "
                                     "YYYY/MM/DD or DD.MM.YYYY) as the column's first value is");
    }
    pedsim::stats::Options options;
    options.time = "date";
    try {
        check_time_settings(analysis_settings(options),
                            stats_test::written_pedigree("S 0 0 2000\nA S 0 2004\n"), "herd.txt");
        ADD_FAILURE() << "--time date took a column of years";
    } catch (const pedsim::common::Failure& failure) {
        EXPECT_STREQ(failure.what(), "--time date: herd.txt has no time column of dates "
                                     "(YYYY-MM-DD, YYYY/MM/DD or DD.MM.YYYY)");
    }
}

// Rows whose mean F grows at a constant yearly rate d, at irregular gaps:
// every Ne per generation is 1 / (2 (1 - (1 - d)^L)), whatever the gap.
TEST(StatsHerd, YearlyChangesConvertedToAGeneration)
{
    const struct {
        double rate, interval;
    } cases[] = {{0.01, 4}, {0.002, 6.5}, {0.05, 1}};
    const std::int64_t years[] = {1990, 1991, 1993, 1994, 1998};
    for (const auto& c : cases) {
        std::vector<GenerationRow> rows;
        for (const std::int64_t year : years) {
            GenerationRow row;
            row.generation = year;
            row.mean_f = 1 - std::pow(1 - c.rate, static_cast<double>(year - 1990));
            row.mean_coancestry = row.mean_f;
            if (!rows.empty()) {
                row.delta_f = relative_increase(rows.back().mean_f, row.mean_f);
                row.delta_c = row.delta_f;
            }
            rows.push_back(row);
        }
        cohort_effective_sizes(rows, c.interval);
        const double expected = 1 / (2 * (1 - std::pow(1 - c.rate, c.interval)));
        for (std::size_t r = 1; r < rows.size(); ++r) {
            EXPECT_NEAR(rows[r].ne_delta_f, expected, 1e-9 * expected) << c.rate << " row " << r;
            EXPECT_NEAR(rows[r].ne_delta_c, expected, 1e-9 * expected) << c.rate << " row " << r;
        }
        // The regression over the same rows finds the same Ne, exactly fitted.
        const RegressionSize fit = regression_effective_size(rows, 1990, 1998, c.interval);
        EXPECT_NEAR(fit.ne, expected, 1e-9 * expected) << c.rate;
        EXPECT_NEAR(fit.se, 0, 1e-6 * expected) << c.rate;
        EXPECT_EQ(fit.cohorts, 5u);
    }
}

// The regression uses only the rows in its range, and is undefined below two.
TEST(StatsHerd, RegressionRangeAndItsError)
{
    std::vector<GenerationRow> rows(6);
    const double mean_f[] = {0.9, 0.01, 0.02, 0.035, 0.04, 0.9};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].generation = static_cast<std::int64_t>(r);
        rows[r].mean_f = mean_f[r];
    }
    const RegressionSize fit = regression_effective_size(rows, 1, 4, 1);
    EXPECT_EQ(fit.cohorts, 4u);
    // Least squares by hand on ln(1 - F) at 1..4.
    double y[4], mean_y = 0;
    for (int k = 0; k < 4; ++k) y[k] = std::log(1 - mean_f[k + 1]), mean_y += y[k] / 4;
    double sxy = 0, sse = 0;
    for (int k = 0; k < 4; ++k) sxy += (k - 1.5) * (y[k] - mean_y);
    const double slope = sxy / 5;  // sxx = 2.25 + 0.25 + 0.25 + 2.25
    for (int k = 0; k < 4; ++k) sse += std::pow(y[k] - mean_y - slope * (k - 1.5), 2);
    const double ne = 1 / (2 * (1 - std::exp(slope)));
    EXPECT_NEAR(fit.ne, ne, 1e-9 * ne);
    const double se =
        std::exp(slope) / (2 * std::pow(1 - std::exp(slope), 2)) * std::sqrt(sse / 2 / 5);
    EXPECT_NEAR(fit.se, se, 1e-9 * se);
    EXPECT_TRUE(std::isnan(regression_effective_size(rows, 2, 2, 1).ne));
    EXPECT_TRUE(std::isnan(regression_effective_size(rows, 2, 3, 1).se));
}

// A pedsim pedigree relabelled with birth years: generation g born in
// 2000 + 4 (g - first), every third animal a year later. Its interval is near
// 4 and its Ne per generation from the cohorts near its Ne by generation.
TEST(StatsHerd, RelabelledSimulationAgreesWithGenerations)
{
    const Pedigree by_generation = stats_test::simulated_pedigree({12, 10, 4, 5, 1, 1, 1, 7});
    Pedigree by_year = by_generation;
    const std::int64_t first = by_generation.generation.front();
    for (std::size_t i = 0; i < by_year.size(); ++i)
        by_year.generation[i] =
            2000 + 4 * (by_generation.generation[i] - first) + (i % 3 == 0 ? 1 : 0);
    // The historical generations from the fourth on, where F grows steadily.
    const TimeRange generations{first + 3, 0};
    const TimeRange years{2000 + 4 * 3, 2000 + 4 * (0 - first) + 1};
    const Analysis cohorts = analyse(by_year, {}, {}, {std::nullopt, years});
    const Analysis generational = analyse(by_generation, {}, {}, {std::nullopt, generations});
    ASSERT_EQ(cohorts.time.scale, TimeScale::year);
    EXPECT_NEAR(cohorts.interval->overall.mean, 4, 0.1);
    const double ne_by_generation =
        regression_effective_size(generational.generations, generations.from, generations.to, 1).ne;
    ASSERT_TRUE(cohorts.regression);
    EXPECT_NEAR(cohorts.regression->ne, ne_by_generation, 0.15 * ne_by_generation)
        << "by generation " << ne_by_generation;
    // The same reference animals: fa, fg and mean kinship do not depend on the time scale.
    EXPECT_EQ(cohorts.reference_animals, generational.reference_animals);
    EXPECT_EQ(cohorts.founder_genomes, generational.founder_genomes);
}

// fa on hand-worked pedigrees (reference: generation 2).
TEST(StatsHerd, EffectiveNumberOfAncestors)
{
    const struct {
        const char* name;
        std::string_view lines;
        std::size_t cap;
        double fa, explained;
        std::size_t ancestors, half;
        double fe;
    } cases[] = {
        // 5 (of 1 and 2) sires both 6 and 7: it explains 1/2 alone, and
        // 3 and 4 a quarter each; 1 and 2 add nothing. fe counts 1..4 at 1/4.
        {"bottleneck", "1 0 0 0\n2 0 0 0\n3 0 0 0\n4 0 0 0\n5 1 2 1\n6 5 3 2\n7 5 4 2\n",
         most_ancestors, 8.0 / 3, 1, 3, 1, 4},
        // q: 1 5/12, 5 4/12, 4 2/12, 3 2/12, 2 1/12. After 1 is chosen, half of
        // its son 3 is explained: 3 offers 1/12, tied with 2, the earlier.
        {"shared ancestor",
         "1 0 0 0\n2 0 0 0\n4 0 0 0\n5 0 0 0\n3 1 2 1\n6 1 4 2\n7 3 5 2\n8 1 5 2\n", most_ancestors,
         144.0 / 46, 1, 4, 2, 144.0 / 46},
        {"capped", "1 0 0 0\n2 0 0 0\n4 0 0 0\n5 0 0 0\n3 1 2 1\n6 1 4 2\n7 3 5 2\n8 1 5 2\n", 2,
         144.0 / 41, 0.75, 2, 2, 144.0 / 46},
        // An unknown dam's half is nobody's.
        {"unknown dam", "1 0 0 0\n2 1 0 2\n", most_ancestors, 4, 0.5, 1, 1, 2},
    };
    for (const auto& c : cases) {
        const Pedigree pedigree = stats_test::written_pedigree(c.lines);
        const std::vector<AnimalIndex> reference = reference_animals(pedigree, {2, 2});
        const AncestorContributions found = effective_ancestors(pedigree, reference, c.cap);
        EXPECT_DOUBLE_EQ(found.effective_ancestors, c.fa) << c.name;
        EXPECT_DOUBLE_EQ(found.explained, c.explained) << c.name;
        EXPECT_EQ(found.ancestors, c.ancestors) << c.name;
        EXPECT_EQ(found.half, c.half) << c.name;
        EXPECT_DOUBLE_EQ(effective_founders(pedigree, reference), c.fe) << c.name;
    }
}

// fa by the definition, for a check of the incremental choice: each round
// recomputes q (in reference animals, as the choice counts it, so equal
// contributions tie exactly) and a of every animal with one pass each.
AncestorContributions ancestors_round_by_round(const Pedigree& pedigree,
                                               const std::vector<AnimalIndex>& reference,
                                               std::size_t cap)
{
    const std::size_t n = pedigree.size();
    const auto at = [](AnimalIndex animal) { return static_cast<std::size_t>(animal); };
    std::vector<bool> chosen(n, false);
    AncestorContributions found;
    double squares = 0;
    while (found.ancestors < cap && found.explained < 1 - 1e-12) {
        std::vector<double> weight(n, 0.0), q(n, 0.0), a(n, 0.0);
        for (const AnimalIndex animal : reference) weight[at(animal)] = 1;
        for (std::size_t i = n; i-- > 0;) {
            weight[i] += q[i];
            if (chosen[i]) continue;
            for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
                if (parent != unknown) q[at(parent)] += weight[i] / 2;
        }
        std::size_t best = n;
        double most = 0;
        for (std::size_t i = 0; i < n; ++i) {
            for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
                if (parent != unknown) a[i] += a[at(parent)] / 2;
            if (chosen[i]) a[i] = 1;
            const double marginal =
                chosen[i] ? 0 : q[i] / static_cast<double>(reference.size()) * (1 - a[i]);
            if (marginal > most) most = marginal, best = i;
        }
        if (most < 1e-12) break;
        chosen[best] = true;
        ++found.ancestors;
        found.explained += most;
        squares += most * most;
        if (found.half == 0 && found.explained >= 0.5) found.half = found.ancestors;
    }
    found.effective_ancestors = 1 / squares;
    return found;
}

// The incremental choice against the definition on simulated pedigrees, where
// ancestors are shared by many lines and one choice changes the contributions
// of many others, with references of one generation or several and caps that
// stop it early.
TEST(StatsHerd, EffectiveNumberOfAncestorsAsDefined)
{
    const Pedigree small = stats_test::simulated_pedigree({3, 2, 2, 3, 2, 1, 2, 5});
    const Pedigree mid = stats_test::simulated_pedigree({12, 10, 4, 5, 1, 1, 1, 7});
    const Pedigree wide = stats_test::simulated_pedigree({8, 25, 4, 3, 5, 6, 2, 271828});
    const struct {
        const char* name;
        const Pedigree& pedigree;
        TimeRange reference;
        std::size_t cap;
    } cases[] = {
        {"small, last generation", small, {2, 2}, most_ancestors},
        {"small, several generations", small, {-1, 2}, most_ancestors},
        {"deep, last generation", mid, {1, 1}, most_ancestors},
        {"deep, several generations", mid, {-4, 1}, most_ancestors},
        {"deep, capped at 7", mid, {-4, 1}, 7},
        {"wide, last generation", wide, {1, 1}, most_ancestors},
        {"wide, several generations", wide, {-3, 1}, most_ancestors},
        {"wide, capped at 1", wide, {1, 1}, 1},
    };
    for (const auto& c : cases) {
        const std::vector<AnimalIndex> reference = reference_animals(c.pedigree, c.reference);
        ASSERT_FALSE(reference.empty()) << c.name;
        const AncestorContributions expected =
            ancestors_round_by_round(c.pedigree, reference, c.cap);
        const AncestorContributions found = effective_ancestors(c.pedigree, reference, c.cap);
        EXPECT_EQ(found.ancestors, expected.ancestors) << c.name;
        EXPECT_EQ(found.half, expected.half) << c.name;
        EXPECT_NEAR(found.explained, expected.explained, 1e-12) << c.name;
        EXPECT_NEAR(found.effective_ancestors, expected.effective_ancestors,
                    1e-12 * expected.effective_ancestors)
            << c.name;
    }
}

// Mean kinship and fg against the relationship matrix formed by the tabular
// method, on pedigrees with inbreeding, unknown parents and a reference that
// spans generations.
TEST(StatsHerd, MeanKinshipAndFounderGenomesAgainstTheMatrix)
{
    const struct {
        const char* name;
        Pedigree pedigree;
        TimeRange reference;
    } cases[] = {
        {"full sibs",
         stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 4\n7 5 6\n"),
         {2, 3}},
        {"unknown parents",
         stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 0\n4 3 2\n5 3 4\n6 5 0\n7 5 6\n8 3 6\n"),
         {3, 5}},
        {"simulated", stats_test::simulated_pedigree({3, 2, 2, 3, 2, 1, 2, 5}), {-1, 2}},
    };
    for (const auto& c : cases) {
        const Analysis analysis = analyse(c.pedigree, {}, {}, {std::nullopt, c.reference});
        const auto a = stats_test::tabular_relationships(c.pedigree);
        const std::vector<AnimalIndex> reference = reference_animals(c.pedigree, c.reference);
        const double n = static_cast<double>(reference.size());
        double coancestry = 0;
        for (std::size_t i = 0; i < c.pedigree.size(); ++i) {
            double sum = 0;
            for (const AnimalIndex j : reference) sum += a[i][static_cast<std::size_t>(j)] / 2;
            EXPECT_NEAR(analysis.animals.mean_kinship[i], sum / n, 1e-14) << c.name << " " << i;
            if (std::ranges::find(reference, static_cast<AnimalIndex>(i)) != reference.end())
                coancestry += sum / n / n;
        }
        EXPECT_NEAR(analysis.reference_coancestry, coancestry, 1e-14) << c.name;
        EXPECT_NEAR(analysis.founder_genomes, 1 / (2 * coancestry), 1e-12) << c.name;
    }
}

// Maximum and complete generations: 7 of 5 and an unknown dam has 3 maximum
// generations (7, 5, 3, 1) and 0 complete ones.
TEST(StatsHerd, TracedGenerations)
{
    const Pedigree pedigree =
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 0\n5 3 4\n6 3 2\n7 5 0\n8 5 6\n");
    const TracedGenerations traced = traced_generations(pedigree);
    const struct {
        const char* animal;
        double maximum, complete;
    } cases[] = {{"1", 0, 0}, {"3", 1, 1}, {"4", 1, 0}, {"5", 2, 1},
                 {"6", 2, 1}, {"7", 3, 0}, {"8", 3, 2}};
    for (const auto& c : cases) {
        const std::size_t i = stats_test::animal_named(pedigree, c.animal);
        EXPECT_EQ(traced.maximum[i], c.maximum) << c.animal;
        EXPECT_EQ(traced.complete[i], c.complete) << c.animal;
    }
    // Per row, the means of the row's animals: generation 2 holds 5 and 6.
    const Analysis analysis = analyse(pedigree, {}, {});
    EXPECT_DOUBLE_EQ(analysis.generations[2].mean_maximum_generations, 2);
    EXPECT_DOUBLE_EQ(analysis.generations[2].mean_complete_generations, 1);
    EXPECT_DOUBLE_EQ(analysis.generations[3].mean_complete_generations, 1);
}

TEST(StatsHerd, BirthDates)
{
    using std::chrono::sys_days;
    using namespace std::chrono_literals;
    const struct {
        std::string_view text;
        std::optional<sys_days> date;
    } cases[] = {
        {"2020-03-01", sys_days(2020y / 3 / 1)},
        {"2020/3/1", sys_days(2020y / 3 / 1)},
        {"01.03.2020", sys_days(2020y / 3 / 1)},
        {"1.3.2020", sys_days(2020y / 3 / 1)},
        {"2000-02-29", sys_days(2000y / 2 / 29)},
        {"2023-02-29", std::nullopt},
        {"2020-13-01", std::nullopt},
        {"2020-03", std::nullopt},
        {"2020-03-01-02", std::nullopt},
        {"20-03-01", std::nullopt},
        {"2020-003-01", std::nullopt},
        {"2020-03-1x", std::nullopt},
        {"2020-03/01", std::nullopt},
        {"2020", std::nullopt},
        {"", std::nullopt},
        {"2020--3-01", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(date_named(c.text), c.date) << c.text;
    EXPECT_DOUBLE_EQ(fractional_year(sys_days(2000y / 7 / 2)), 2000.5);
    EXPECT_DOUBLE_EQ(fractional_year(sys_days(2001y / 1 / 1)), 2001);
    EXPECT_DOUBLE_EQ(fractional_year(sys_days(2001y / 12 / 31)), 2001 + 364.0 / 365);
}

// Years missing from a herd book: D0 is a founder without one, B takes 1 +
// its parents' latest (1993), X, Z and X0 are parents without a row (Z's
// offspring G is born in the first year, 1990), and H has no year and only
// such parents.
constexpr std::string_view missing_years_pedigree =
    "S1 0 0 1990\nD1 0 0 1992\nD0 0 0 NA\nA S1 D0 1996\nB S1 D1 NA\nC A B 2001\n"
    "E A X 2002\nG Z 0 1990\nH X0 D0 NA\n";

// Only the pairs whose two years stand on their rows give ages: A-S1 6,
// C-A 5 and E-A 6; the eight others are counted as left out.
TEST(StatsHerd, FilledInYearsGiveNoAge)
{
    const Analysis analysis = analyse(stats_test::written_pedigree(missing_years_pedigree), {}, {});
    ASSERT_TRUE(analysis.interval);
    const GenerationInterval& l = *analysis.interval;
    EXPECT_EQ(l.pairs_left_out, 8u);
    const struct {
        const char* pathway;
        Pathway found;
        double mean;  // NaN: no pair
        std::size_t pairs;
    } cases[] = {
        {"overall", l.overall, 17.0 / 3, 3},
        {"sire", l.sire, 17.0 / 3, 3},
        {"dam", l.dam, NAN, 0},
        {"sire-son", l.sire_son, 6, 1},
        {"sire-daughter", l.sire_daughter, NAN, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.found.pairs, c.pairs) << c.pathway;
        if (std::isnan(c.mean))
            EXPECT_TRUE(std::isnan(c.found.mean)) << c.pathway;
        else
            EXPECT_DOUBLE_EQ(c.found.mean, c.mean) << c.pathway;
    }
    // Each cohort's L from the same pairs: B (1993) and G (1990) have none.
    const struct {
        std::int64_t year;
        double interval;
    } cohorts[] = {{1990, NAN}, {1992, NAN}, {1993, NAN}, {1996, 6}, {2001, 5}, {2002, 6}};
    ASSERT_EQ(analysis.generations.size(), std::size(cohorts));
    for (std::size_t g = 0; g < std::size(cohorts); ++g) {
        const GenerationRow& row = analysis.generations[g];
        EXPECT_EQ(row.generation, cohorts[g].year);
        if (std::isnan(cohorts[g].interval))
            EXPECT_TRUE(std::isnan(row.generation_interval)) << row.generation;
        else
            EXPECT_DOUBLE_EQ(row.generation_interval, cohorts[g].interval) << row.generation;
    }
}

// An animal with no year of its own nor a parent's to take stands in no
// cohort: no false cohort 1989 for the parents without a row, none of them
// among the animals of 1990 or in the reference population.
TEST(StatsHerd, AnimalsWithoutAYearToTakeStandInNoCohort)
{
    const Pedigree herd = stats_test::written_pedigree(missing_years_pedigree);
    const Analysis analysis = analyse(herd, {}, {});
    const struct {
        const char* animal;
        bool in_cohort;
    } cases[] = {
        {"S1", true}, {"D1", true}, {"D0", false}, {"A", true},  {"B", true},  {"C", true},
        {"E", true},  {"G", true},  {"H", false},  {"X", false}, {"Z", false}, {"X0", false},
    };
    ASSERT_EQ(analysis.in_cohort.size(), herd.size());
    for (const auto& c : cases)
        EXPECT_EQ(analysis.in_cohort[stats_test::animal_named(herd, c.animal)], c.in_cohort)
            << c.animal;
    EXPECT_EQ(analysis.outside_cohorts, 5u);
    std::size_t in_rows = 0;
    for (const GenerationRow& row : analysis.generations) in_rows += row.animals;
    EXPECT_EQ(in_rows, herd.size() - 5);
    EXPECT_EQ(analysis.generations.front().generation, 1990);
    EXPECT_EQ(analysis.generations.front().animals, 2u);  // S1 and G, not H
    // The reference, 1997 to 2002 (an interval of 17/3 rounds to 6), is C
    // and E, without X (given 2001, the year before its offspring's).
    EXPECT_EQ(analysis.reference.from, 1997);
    EXPECT_EQ(analysis.reference_animals, 2u);
    // F is still every animal's: H, of two unrelated founders, is not inbred.
    EXPECT_EQ(analysis.animals.inbreeding.size(), herd.size());
    EXPECT_EQ(analysis.animals.inbreeding[stats_test::animal_named(herd, "H")], 0);
}

// The regression Ne is called not informative from too few cohorts or an
// error above the estimate, undefined ones included.
TEST(StatsHerd, RegressionSaysWhenItIsNotInformative)
{
    const struct {
        RegressionSize regression;
        std::string reason;
    } cases[] = {
        {{88.3, 13.2, 6}, ""},
        {{88.3, 88.3, 5}, ""},
        {{1592, 4427, 6}, "its standard error is above the estimate"},
        {{88.3, 13.2, 4}, "fewer than 5 cohorts"},
        {{88.3, NAN, 2}, "fewer than 5 cohorts"},
        {{-300, 20, 8}, "its standard error is above the estimate"},
        {{NAN, NAN, 7}, "its standard error is above the estimate"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(uninformative_reason(c.regression), c.reason)
            << c.regression.ne << " " << c.regression.se << " " << c.regression.cohorts;
}

TEST(StatsHerd, ReferenceRanges)
{
    const struct {
        std::string_view text;
        std::optional<std::pair<std::int64_t, std::int64_t>> range;
    } cases[] = {
        {"1990-2000", std::pair{1990, 2000}},
        {"2", std::pair{2, 2}},
        {"-3--1", std::pair{-3, -1}},
        {"-3-2", std::pair{-3, 2}},
        {"-3", std::pair{-3, -3}},
        {"2000-1990", std::nullopt},
        {"1990-", std::nullopt},
        {"a-b", std::nullopt},
        {"", std::nullopt},
        {"1990-2000-2010", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto found = time_range_named(c.text);
        ASSERT_EQ(found.has_value(), c.range.has_value()) << c.text;
        if (found) {
            EXPECT_EQ(std::pair(found->from, found->to), *c.range) << c.text;
        }
    }
}

}  // namespace
