// Tests of the trait simulation: the Mendelian sampling fractions, the
// covariances of breeding values, permanent effects and residuals against
// theory over many seeds, the within-generation variance of the flock, and
// every refusal of a model file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "common/failure.h"
#include "design/design_file.h"
#include "shell/input_files.h"
#include "tests/stats_pedigrees.h"
#include "traits/animal_draws.h"
#include "traits/breeding_values.h"
#include "traits/check_table.h"
#include "traits/model.h"
#include "traits/pedigree_relatedness.h"
#include "traits/portable_math.h"

#include <Eigen/Dense>

namespace {

using pedsim::pedigree::Pedigree;
using pedsim::traits::Covariance;
using pedsim::traits::Simulated;
using pedsim::traits::TraitModel;

Covariance covariance(std::vector<double> values)
{
    const auto size = static_cast<std::size_t>(std::lround(std::sqrt(values.size())));
    Covariance c{size, values, pedsim::traits::covariance_factor(values, size)};
    return c;
}

TraitModel model_of(const Covariance& additive, const Covariance& residual,
                    const Covariance& permanent = {}, std::size_t records = 1)
{
    TraitModel model;
    for (std::size_t t = 0; t < additive.size; ++t) model.traits.push_back("t" + std::to_string(t));
    model.mean.assign(additive.size, 0.0);
    model.inbreeding_depression.assign(additive.size, 0.0);
    model.additive = additive;
    model.residual = residual;
    model.permanent = permanent;
    model.records.assign(additive.size, records);
    model.recorded_sex.assign(additive.size, pedsim::traits::RecordedSex::all);
    model.recorded_fraction.assign(additive.size, 1.0);
    model.threshold.assign(additive.size, {});
    return model;
}

// The model as a file reads it, for the cases that need the new keys.
TraitModel model_read(const std::string& text)
{
    return pedsim::traits::read_model(text, "m.toml");
}

// The relationship matrix by the tabular method (Emik and Terrill, 1949),
// independent of the inbreeding engine the program uses.
std::vector<std::vector<double>> tabular_relationships(const Pedigree& pedigree)
{
    const std::size_t n = pedigree.size();
    std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
    const auto of = [&](std::size_t j, pedsim::pedigree::AnimalIndex parent) {
        return parent < 0 ? 0.0 : a[j][static_cast<std::size_t>(parent)];
    };
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < i; ++j)
            a[i][j] = a[j][i] = 0.5 * (of(j, pedigree.sire[i]) + of(j, pedigree.dam[i]));
        const auto s = pedigree.sire[i], d = pedigree.dam[i];
        a[i][i] = 1.0 + (s < 0 || d < 0
                             ? 0.0
                             : 0.5 * a[static_cast<std::size_t>(s)][static_cast<std::size_t>(d)]);
    }
    return a;
}

// Sires (0, 0, 1, 1, 4, 5) and dams (0, 0, 2, 0, 3, 2): a founder, a
// mating of unrelated parents, a missing dam, and two inbred matings.
TEST(MendelianSampling, FractionsOfAKnownPedigree)
{
    const Pedigree pedigree =
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 0\n5 4 3\n6 5 2\n");
    const auto relatedness = pedsim::traits::pedigree_relatedness(pedigree, {});
    const Simulated simulated = pedsim::traits::simulate(
        pedigree, relatedness.found.inbreeding, model_of(covariance({1}), covariance({1})), 1, 1);
    const std::vector<double> expected = {1, 1, 0.5, 0.75, 0.5, 0.46875};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(simulated.msv[stats_test::animal_named(pedigree, std::to_string(i + 1))],
                         expected[i])
            << "animal " << i + 1;
}

// About 30 animals: full-sib and half-sib matings, inbred parents, and
// animals with one parent missing.
constexpr const char* kInbredPedigree =
    "1 0 0\n2 0 0\n3 0 0\n4 0 0\n5 0 0\n6 0 0\n7 1 2\n8 1 2\n9 1 3\n10 4 5\n11 4 0\n"
    "12 6 3\n13 7 8\n14 7 8\n15 9 8\n16 10 12\n17 11 5\n18 6 0\n19 13 14\n20 13 15\n"
    "21 16 17\n22 9 12\n23 11 18\n24 19 20\n25 19 21\n26 16 14\n27 23 22\n28 24 25\n"
    "29 27 26\n30 24 29\n31 0 5\n";

// About 2000 pairs are compared at once, so some seed sets would show a pair
// a little beyond 4 standard errors by chance; the seeds are fixed, and
// 10000 of them leave every pair inside. Drawing every Mendelian sampling
// term with half the base variance, whatever the parents' F, puts inbred
// animals' variances about 6 standard errors off.
//
// Over `seeds` runs, the mean product of every pair of values (the true
// means being 0) against `expected(i, j)` within 4 standard errors, the
// error of a mean product of two normals being sqrt((V_ii V_jj + V_ij^2)/n).
template <class Values, class Expected>
void expect_covariances(std::size_t count, std::size_t seeds, const Values& values,
                        const Expected& expected)
{
    std::vector<double> products(count * count, 0.0);
    for (std::uint64_t seed = 1; seed <= seeds; ++seed) {
        const std::vector<double> x = values(seed);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t j = 0; j <= i; ++j) products[i * count + j] += x[i] * x[j];
    }
    std::size_t outside = 0;
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j <= i; ++j) {
            const double found = products[i * count + j] / static_cast<double>(seeds);
            const double v = expected(i, j);
            const double se =
                std::sqrt((expected(i, i) * expected(j, j) + v * v) / static_cast<double>(seeds));
            if (std::abs(found - v) > 4 * se) ++outside;
            EXPECT_LE(std::abs(found - v), 4 * se) << "pair " << i << ", " << j;
        }
    EXPECT_EQ(outside, 0u);
}

struct CovarianceCase {
    const char* name;
    std::vector<double> additive;
};

class BreedingValueCovariance : public testing::TestWithParam<CovarianceCase> {};

// Cov(a_it, a_ju) = A_ij G_tu for every pair of animals and traits.
TEST_P(BreedingValueCovariance, IsRelationshipTimesAdditive)
{
    const Pedigree pedigree = stats_test::written_pedigree(kInbredPedigree);
    const auto relatedness = pedsim::traits::pedigree_relatedness(pedigree, {});
    const auto a = tabular_relationships(pedigree);
    const TraitModel model = model_of(covariance(GetParam().additive), covariance({1}));
    const std::size_t traits = model.trait_count(), count = pedigree.size() * traits;
    expect_covariances(
        count, 10000,
        [&](std::uint64_t seed) {
            return pedsim::traits::simulate(pedigree, relatedness.found.inbreeding, model, seed, 1)
                .breeding_value;
        },
        [&](std::size_t p, std::size_t q) {
            return a[p / traits][q / traits] * model.additive.at(p % traits, q % traits);
        });
}

INSTANTIATE_TEST_SUITE_P(Traits, BreedingValueCovariance,
                         testing::Values(CovarianceCase{"one_trait", {2.5}},
                                         CovarianceCase{"two_correlated", {4, 1.2, 1.2, 1}},
                                         CovarianceCase{"singular_pair", {1, 2, 2, 4}}),
                         [](const auto& named) { return std::string(named.param.name); });

// The records of unrelated founders: the same animal's records share a and
// pe (covariance G + P between records), and each has its own residual
// (G + P + R within a record), for two correlated traits.
struct RecordCase {
    const char* name;
    std::size_t first_record, second_record;
    bool residual_shared;
};

class RecordCovariance : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordCovariance, MatchesTheModel)
{
    std::string lines;
    for (int i = 1; i <= 4000; ++i) lines += "f" + std::to_string(i) + " 0 0\n";
    const Pedigree pedigree = stats_test::written_pedigree(lines);
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const TraitModel model = model_of(covariance({2, 0.5, 0.5, 1}), covariance({3, -1, -1, 2}),
                                      covariance({1, 0.4, 0.4, 0.5}), 3);
    const Simulated simulated = pedsim::traits::simulate(pedigree, inbreeding, model, 99, 1);
    // Named copies, not a structured binding: clang 14 cannot capture a
    // binding in the lambdas below.
    const std::size_t first = GetParam().first_record, second = GetParam().second_record;
    const bool residual_shared = GetParam().residual_shared;
    // Each animal is one replicate: its two records' values.
    expect_covariances(
        4, pedigree.size(),
        [&](std::uint64_t animal) {
            std::vector<double> x;
            for (const std::size_t r : {first, second})
                for (std::size_t t = 0; t < 2; ++t)
                    x.push_back(
                        pedsim::traits::phenotype(simulated, model, inbreeding, animal - 1, r, t));
            return x;
        },
        [&](std::size_t p, std::size_t q) {
            const std::size_t t = p % 2, u = q % 2;
            const bool same_record = p / 2 == q / 2 || residual_shared;
            return model.additive.at(t, u) + model.permanent.at(t, u) +
                   (same_record ? model.residual.at(t, u) : 0.0);
        });
}

INSTANTIATE_TEST_SUITE_P(Traits, RecordCovariance,
                         testing::Values(RecordCase{"one_record", 0, 0, true},
                                         RecordCase{"first_and_second", 0, 1, false},
                                         RecordCase{"first_and_third", 0, 2, false}),
                         [](const auto& named) { return std::string(named.param.name); });

// A column of the check table for the first trait: its value and its
// expectation.
struct CheckColumn {
    const char* name;
    double pedsim::traits::TraitCheck::*found;
    double pedsim::traits::TraitCheck::*expected;
};

// Over `replicates` seeds of the flock, each generation's mean of every
// column against the mean of its expectation, within 4 standard errors;
// generations whose expectation is NaN (no records) are left out. Returns,
// per column, the mean expectations of the generations compared.
std::vector<std::vector<double>> expect_flock_columns(const TraitModel& model,
                                                      std::uint64_t replicates,
                                                      const std::vector<CheckColumn>& columns)
{
    const auto design = pedsim::design::read_design(
        (std::filesystem::path(PEDSIM_TEST_DATA) / ".." / "examples" / "flock.parpop").string());
    const Pedigree pedigree = stats_test::simulated_pedigree(design);
    const auto relatedness = pedsim::traits::pedigree_relatedness(pedigree, {});
    const std::size_t groups = relatedness.groups.size(), width = columns.size() * groups;
    std::vector<double> sum(width, 0.0), squares(width, 0.0), expected(width, 0.0), count(width);
    for (std::uint64_t seed = 1; seed <= replicates; ++seed) {
        const Simulated simulated =
            pedsim::traits::simulate(pedigree, relatedness.found.inbreeding, model, seed, 2);
        const auto rows = pedsim::traits::check_rows(relatedness, model, simulated);
        for (std::size_t k = 0; k < width; ++k) {
            const auto& trait = rows[k % groups].traits[0];
            const CheckColumn& column = columns[k / groups];
            if (std::isnan(trait.*column.expected)) continue;
            sum[k] += trait.*column.found;
            squares[k] += trait.*column.found * trait.*column.found;
            expected[k] += trait.*column.expected;
            ++count[k];
        }
    }
    std::vector<std::vector<double>> compared(columns.size());
    for (std::size_t k = 0; k < width; ++k) {
        if (count[k] == 0) continue;
        const double mean = sum[k] / count[k];
        const double se = std::sqrt((squares[k] / count[k] - mean * mean) / (count[k] - 1));
        EXPECT_NEAR(mean, expected[k] / count[k], 4 * se + 1e-12)
            << columns[k / groups].name << ", generation "
            << relatedness.groups.generation[k % groups];
        compared[k / groups].push_back(expected[k] / count[k]);
    }
    return compared;
}

// The flock's breeding values, generation by generation, averaged over
// replicates: their variance about the generation's mean against the check
// table's expectation G [(1 + mean F) - 2 mean coancestry], within 4 SE.
TEST(CheckTable, FlockVarianceMatchesExpectationOverReplicates)
{
    using pedsim::traits::TraitCheck;
    const auto expected =
        expect_flock_columns(model_of(covariance({5}), covariance({1})), 60,
                             {{"var_tbv", &TraitCheck::var_tbv, &TraitCheck::expected_var_tbv}});
    EXPECT_FALSE(expected[0].empty());
    for (const double e : expected[0]) EXPECT_LT(e, 5.0);  // drift and inbreeding shrink it below G
}

// The maternal and threshold columns: each generation's variance of the
// maternal values, and each recorded generation's incidence.
TEST(CheckTable, MaternalAndIncidenceMatchExpectationOverReplicates)
{
    using pedsim::traits::TraitCheck;
    const TraitModel model =
        model_read("traits = [\"c\"]\nmean = 0.2\nadditive = 0.3\nresidual = 0.6\nmaternal = 0.2\n"
                   "direct_maternal = -0.1\nmaternal_permanent = 0.1\nthreshold = [0.9]\n"
                   "recorded_generations = [0, 2]\n");
    const auto expected = expect_flock_columns(
        model, 40,
        {{"var_mbv", &TraitCheck::var_mbv, &TraitCheck::expected_var_mbv},
         {"incidence", &TraitCheck::incidence, &TraitCheck::expected_incidence}});
    EXPECT_FALSE(expected[0].empty());
    EXPECT_EQ(expected[1].size(), 3u);
}

struct RefusalCase {
    const char* name;
    std::string model;
    std::string message;
};

class ModelRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(ModelRefusal, NamesFileLineAndKey)
{
    try {
        pedsim::traits::read_model(GetParam().model, "m.toml");
        FAIL() << "accepted";
    } catch (const pedsim::common::Failure& failure) {
        EXPECT_EQ(std::string(failure.what()), GetParam().message);
        EXPECT_EQ(failure.status(), pedsim::common::ExitStatus::input_refused);
    }
}

const std::string kHead = "traits = [\"w\", \"f\"]\nmean = [1, 2]\n";
const std::string kAdditive = "additive = [[4, 1], [1, 2]]\n";
const std::string kResidual = "residual = [[3, 0], [0, 1]]\n";
const std::string kValid = kHead + kAdditive + kResidual;

INSTANTIATE_TEST_SUITE_P(
    Traits, ModelRefusal,
    testing::Values(
        RefusalCase{"syntax", "traits = [\"w\"]\nmean = = 1\n",
                    "m.toml: line 2: Error while parsing value: could not determine value type; "
                    "correct the TOML syntax"},
        RefusalCase{"unknown_key", kValid + "heritability = 0.3\n",
                    "m.toml: line 5: \"heritability\": unknown key; the keys are seed, traits, "
                    "mean, additive, residual, permanent, records, inbreeding_depression, "
                    "recorded_generations, recorded_sex, recorded_fraction, fixed, maternal, "
                    "direct_maternal, maternal_permanent, threshold"},
        RefusalCase{"missing_key", kHead + kAdditive,
                    "m.toml: line 1: residual: missing; add the key residual = ..."},
        RefusalCase{"traits_not_names", "traits = [1]\nmean = 1\nadditive = 1\nresidual = 1\n",
                    "m.toml: line 1: traits: expected names in quotes, e.g. [\"weight\"]"},
        RefusalCase{"trait_twice", "traits = [\"w\", \"w\"]\n",
                    "m.toml: line 1: traits: \"w\" is named twice"},
        RefusalCase{"mean_length", "traits = [\"w\", \"f\"]\nmean = [1]\n",
                    "m.toml: line 2: mean: expected an array of 2 numbers, one per trait"},
        RefusalCase{"mean_text", "traits = [\"w\"]\nmean = \"big\"\n",
                    "m.toml: line 2: mean: expected a number; write e.g. 1.5"},
        // A double would round it; the TOML library then gave no value.
        RefusalCase{"mean_inexact_integer", "traits = [\"w\"]\nmean = 9007199254740993\n",
                    "m.toml: line 2: mean: an integer beyond 2^53 has no exact value as a "
                    "number here; write it with an exponent, e.g. 9.1e15"},
        RefusalCase{"matrix_row", kHead + "additive = [[4, 1], [1]]\n",
                    "m.toml: line 3: additive: expected each row to be an array of 2 numbers"},
        RefusalCase{"matrix_rows", kHead + "additive = [[4, 1]]\n",
                    "m.toml: line 3: additive: expected 2 rows of 2 numbers, one row and "
                    "column per trait"},
        RefusalCase{"not_symmetric", kHead + "additive = [[4, 1], [1.5, 2]]\n",
                    "m.toml: line 3: additive: not symmetric: row 2, column 1 differs from "
                    "row 1, column 2; write the same covariance"},
        RefusalCase{"not_semi_definite", kHead + kAdditive + "residual = [[1, 2], [2, 1]]\n",
                    "m.toml: line 4: residual: not positive semi-definite (a correlation "
                    "beyond -1 .. 1, or an inconsistent set); correct the covariances"},
        RefusalCase{"negative_variance", kValid + "permanent = [[-1, 0], [0, 1]]\n",
                    "m.toml: line 5: permanent: the variance of trait 1 is negative; "
                    "variances are at least 0"},
        RefusalCase{"records_zero", kValid + "records = 0\n",
                    "m.toml: line 5: records: expected 1 to 1000 records per animal"},
        RefusalCase{"records_text", kValid + "records = 1.5\n",
                    "m.toml: line 5: records: expected an integer; write e.g. 3"},
        RefusalCase{"seed_negative", kValid + "seed = -3\n",
                    "m.toml: line 5: seed: expected an integer of at least 0"},
        RefusalCase{"depression_length", kValid + "inbreeding_depression = 2\n",
                    "m.toml: line 5: inbreeding_depression: expected an array of 2 numbers, "
                    "one per trait"},
        RefusalCase{"generations_reversed", kValid + "recorded_generations = [3, 1]\n",
                    "m.toml: line 5: recorded_generations: the first generation comes after "
                    "the last; write [first, last]"},
        RefusalCase{"generations_shape", kValid + "recorded_generations = [3]\n",
                    "m.toml: line 5: recorded_generations: expected [first, last], two "
                    "generations"}),
    [](const auto& named) { return std::string(named.param.name); });

// The text `part` repeated `count` times, joined by `separator`.
std::string repeated(const std::string& part, std::size_t count, const std::string& separator)
{
    std::string text = part;
    for (std::size_t k = 1; k < count; ++k) text += separator + part;
    return text;
}

const std::string kUnknownKey = ": unknown key; the keys are seed, traits, mean, additive, "
                                "residual, permanent, records, inbreeding_depression, "
                                "recorded_generations, recorded_sex, recorded_fraction, fixed, "
                                "maternal, direct_maternal, maternal_permanent, threshold";
// The refusals of a model nested too deep at `line`, and of trait name `shown`.
std::string too_deep(int line)
{
    return "m.toml: line " + std::to_string(line) +
           ": nested more than 16 levels deep (tables, arrays, inline tables and the parts of "
           "dotted keys); write the model flatter";
}
std::string bad_name(const std::string& shown)
{
    return "m.toml: line 1: traits: " + shown +
           " cannot name a column; a trait name is 1 to 64 ASCII letters, digits, '_', '.' or '-'";
}

// Text that would crash the TOML library or go whole into a message, values
// whose squares or ratios would not be finite, names that cannot head a
// column: each refused in one line of bounded length.
INSTANTIATE_TEST_SUITE_P(
    Hostile, ModelRefusal,
    testing::Values(
        RefusalCase{"dotted_key_50000_deep", repeated("a", 50000, ".") + " = 1\n", too_deep(1)},
        RefusalCase{"table_header_17_deep", kValid + "[" + repeated("t", 17, ".") + "]\n",
                    too_deep(5)},
        RefusalCase{"header_and_key_17_deep",
                    kValid + "[[" + repeated("t", 9, ".") + "]]\n" + repeated("k", 9, ".") +
                        " = 1\n",
                    too_deep(6)},
        RefusalCase{"arrays_17_deep",
                    "traits = [\"w\"]\nmean = " + std::string(17, '[') + std::string(17, ']') +
                        "\n",
                    too_deep(2)},
        RefusalCase{"inline_tables_17_deep",
                    "x = " + repeated("{ y = ", 17, "") + "1" + std::string(17, '}') + "\n",
                    too_deep(1)},
        // Brackets and dots inside strings and comments nest nothing; the
        // run of four quotes closes the multi-line string, and what follows
        // it on the line is counted again.
        RefusalCase{"nesting_after_strings",
                    "# [[[[[[[[[[[[[[[[[[ a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q\n"
                    "\"a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q\" = '[[[[[[[[[[[[[[[[[['\n"
                    "x = [\"\"\"\n[[[[[[[[[[[[[[[[[[\"\"\"\", { " +
                        repeated("k", 17, ".") + " = 1 }]\n",
                    too_deep(4)},
        RefusalCase{"sixteen_levels_reach_the_key_check",
                    kValid + repeated("k", 16, ".") + " = 1\n",
                    "m.toml: line 5: \"k\"" + kUnknownKey},
        RefusalCase{"variance_1e308", kHead + "additive = [[1e308, 0], [0, 1]]\n",
                    "m.toml: line 3: additive: a number beyond -1e100 .. 1e100 makes the "
                    "records or their sums of squares infinite; rescale the trait"},
        RefusalCase{"denormal_variance", kHead + kAdditive + "residual = [[3, 0], [0, 5e-324]]\n",
                    "m.toml: line 4: residual: the variance of trait 2 is below 1e-100, where h2 "
                    "and the check table's variances are not finite; rescale the trait or "
                    "write 0"},
        RefusalCase{"key_with_a_line_feed", kValid + "\"a\\nb\" = 1\n",
                    "m.toml: line 5: \"a\\x0ab\"" + kUnknownKey},
        RefusalCase{"key_of_a_megabyte", kValid + std::string(1 << 20, 'k') + " = 1\n",
                    "m.toml: line 5: \"" + std::string(40, 'k') + "...\"" + kUnknownKey},
        RefusalCase{"long_key_in_a_syntax_error",
                    "\"" + std::string(1 << 20, 'k') + "\" = 1\n\"" + std::string(1 << 20, 'k') +
                        "\" = 2\n",
                    // The description is cut at 200 bytes, 71 of them before the key.
                    "m.toml: line 2: Error while parsing key-value pair: cannot redefine "
                    "existing integer '\"" +
                        std::string(200 - 71, 'k') + "...; correct the TOML syntax"},
        RefusalCase{"trait_with_a_blank", "traits = [\"w t\"]\n", bad_name("\"w t\"")},
        RefusalCase{"trait_with_a_tab", "traits = [\"w\\t\"]\n", bad_name("\"w\\x09\"")},
        RefusalCase{"trait_with_a_nul", "traits = [\"w\\u0000x\"]\n", bad_name("\"w\\x00x\"")},
        RefusalCase{"trait_empty", "traits = [\"\"]\n", bad_name("\"\"")},
        RefusalCase{"trait_of_65_letters", "traits = [\"" + std::string(65, 'w') + "\"]\n",
                    bad_name("\"" + std::string(40, 'w') + "...\"")}),
    [](const auto& named) { return std::string(named.param.name); });

// A model of one trait may write its matrices as numbers; a singular
// matrix is accepted and its factor reproduces it.
TEST(Model, OneTraitAsNumbersAndSingularMatrixAccepted)
{
    const TraitModel one = pedsim::traits::read_model(
        "seed = 5\ntraits = [\"w\"]\nmean = 3\nadditive = 4\nresidual = 0\n", "m.toml");
    EXPECT_EQ(one.seed, 5u);
    EXPECT_DOUBLE_EQ(one.additive.factor[0], 2.0);
    EXPECT_EQ(one.records, std::vector<std::size_t>{1});
    const TraitModel singular =
        pedsim::traits::read_model(kHead + "additive = [[1, 2], [2, 4]]\n" + kResidual, "m.toml");
    const auto& l = singular.additive.factor;
    for (std::size_t r = 0; r < 2; ++r)
        for (std::size_t c = 0; c < 2; ++c)
            EXPECT_NEAR(l[r * 2] * l[c * 2] + l[r * 2 + 1] * l[c * 2 + 1],
                        singular.additive.at(r, c), 1e-12);
}

// Sires s1..s40 and dams d1..d40 mated at random to 2000 offspring o1..: the
// parents' sexes come from their use; the offspring's are unknown.
Pedigree parents_and_offspring()
{
    std::string lines;
    for (int k = 1; k <= 40; ++k) lines += "s" + std::to_string(k) + " 0 0 0\n";
    for (int k = 1; k <= 40; ++k) lines += "d" + std::to_string(k) + " 0 0 0\n";
    for (int k = 0; k < 2000; ++k)
        lines += "o" + std::to_string(k) + " s" + std::to_string(k % 40 + 1) + " d" +
                 std::to_string((k * 7) % 40 + 1) + " 1\n";
    return stats_test::written_pedigree(lines);
}

struct CountCase {
    const char* name;
    std::string keys;                 // the record keys of a two-trait model
    std::size_t allowed[3][2];        // records of each trait for a sire, a dam, an offspring
    double fraction[2] = {1.0, 1.0};  // the share of those kept
};

class RecordCounts : public testing::TestWithParam<CountCase> {};

// Every animal has at most its trait's count of records, none of a sex the
// trait does not record, and the share kept within 4 binomial standard
// errors of the fraction.
TEST_P(RecordCounts, PerTraitSexAndFraction)
{
    const CountCase& c = GetParam();
    const Pedigree pedigree = parents_and_offspring();
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const TraitModel model =
        model_read("traits = [\"w\", \"m\"]\nmean = [0, 0]\nadditive = [[1, 0], [0, 1]]\n"
                   "residual = [[1, 0], [0, 1]]\n" +
                   c.keys);
    const Simulated simulated = pedsim::traits::simulate(pedigree, inbreeding, model, 5, 2);
    for (std::size_t t = 0; t < 2; ++t) {
        double kept = 0, possible = 0;
        for (std::size_t i = 0; i < pedigree.size(); ++i) {
            const char kind = pedigree.names[i][0];
            const std::size_t allowed = c.allowed[kind == 's' ? 0 : kind == 'd' ? 1 : 2][t];
            std::size_t found = 0;
            for (std::size_t r = 0; r < simulated.records; ++r) {
                found += simulated.has_record(i, r, t);
                if (r >= allowed) {
                    EXPECT_FALSE(simulated.has_record(i, r, t)) << pedigree.names[i];
                }
            }
            kept += static_cast<double>(found);
            possible += static_cast<double>(allowed);
        }
        const double p = c.fraction[t];
        EXPECT_NEAR(kept, p * possible, 4 * std::sqrt(possible * p * (1 - p)) + 1e-9)
            << "trait " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Traits, RecordCounts,
    testing::Values(CountCase{"one_count_for_all", "records = 2\n", {{2, 2}, {2, 2}, {2, 2}}},
                    CountCase{"count_per_trait", "records = [3, 1]\n", {{3, 1}, {3, 1}, {3, 1}}},
                    CountCase{"female_only",
                              "records = [1, 2]\nrecorded_sex = [\"all\", \"F\"]\n",
                              {{1, 0}, {1, 2}, {1, 0}}},
                    CountCase{
                        "male_only", "recorded_sex = [\"M\", \"all\"]\n", {{1, 1}, {0, 1}, {0, 1}}},
                    CountCase{"fractions",
                              "records = 2\nrecorded_fraction = [0.3, 0.85]\n",
                              {{2, 2}, {2, 2}, {2, 2}},
                              {0.3, 0.85}}),
    [](const auto& named) { return std::string(named.param.name); });

// The model without the new keys and with them at their neutral values
// draws the same values: the new streams leave the old ones alone.
TEST(RecordCounts, NeutralKeysChangeNoDraw)
{
    const Pedigree pedigree = parents_and_offspring();
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const std::string base = "traits = [\"w\", \"m\"]\nmean = [0, 0]\n"
                             "additive = [[1, 0.5], [0.5, 1]]\nresidual = [[1, 0], [0, 1]]\n"
                             "permanent = [[0.5, 0], [0, 0.5]]\nrecords = 2\n";
    const Simulated plain = pedsim::traits::simulate(pedigree, inbreeding, model_read(base), 9, 1);
    const Simulated neutral = pedsim::traits::simulate(
        pedigree, inbreeding,
        model_read(base + "recorded_sex = [\"all\", \"all\"]\nrecorded_fraction = [1, 1]\n"
                          "threshold = [[], []]\n"),
        9, 1);
    EXPECT_EQ(plain.breeding_value, neutral.breeding_value);
    EXPECT_EQ(plain.permanent, neutral.permanent);
    EXPECT_EQ(plain.residual, neutral.residual);
    EXPECT_EQ(plain.kept, neutral.kept);
}

struct MaternalCase {
    const char* name;
    std::string keys;     // additive, maternal and direct_maternal of the model
    std::size_t animals;  // the first animals of the inbred pedigree compared
};

// The first `count` lines of the inbred pedigree.
std::string first_lines(std::string_view text, std::size_t count)
{
    std::size_t end = 0;
    for (std::size_t k = 0; k < count; ++k) end = text.find('\n', end) + 1;
    return std::string(text.substr(0, end));
}

class MaternalCovariance : public testing::TestWithParam<MaternalCase> {};

// Cov of (a_i, m_i) and (a_j, m_j) is A_ij times the joint matrix, for
// every pair of animals of the inbred pedigree (of its first 19 with two
// traits, which keeps the pairs near 2000 as in the direct test).
TEST_P(MaternalCovariance, IsRelationshipTimesJointMatrix)
{
    const Pedigree pedigree =
        stats_test::written_pedigree(first_lines(kInbredPedigree, GetParam().animals));
    const auto relatedness = pedsim::traits::pedigree_relatedness(pedigree, {});
    const auto a = tabular_relationships(pedigree);
    const TraitModel model = model_read(GetParam().keys);
    const std::size_t n = model.trait_count(), width = 2 * n;
    expect_covariances(
        pedigree.size() * width, 5000,
        [&](std::uint64_t seed) {
            const Simulated s =
                pedsim::traits::simulate(pedigree, relatedness.found.inbreeding, model, seed, 1);
            std::vector<double> x;
            for (std::size_t i = 0; i < pedigree.size(); ++i) {
                x.insert(x.end(), s.breeding_value.begin() + static_cast<long>(i * n),
                         s.breeding_value.begin() + static_cast<long>((i + 1) * n));
                x.insert(x.end(), s.maternal.begin() + static_cast<long>(i * n),
                         s.maternal.begin() + static_cast<long>((i + 1) * n));
            }
            return x;
        },
        [&](std::size_t p, std::size_t q) {
            return a[p / width][q / width] * model.joint.at(p % width, q % width);
        });
}

INSTANTIATE_TEST_SUITE_P(
    Traits, MaternalCovariance,
    testing::Values(MaternalCase{"negative_covariance",
                                 "traits = [\"w\"]\nmean = 0\nadditive = 4\nmaternal = 2\n"
                                 "direct_maternal = -1.5\nresidual = 1\n",
                                 31},
                    MaternalCase{
                        "two_traits",
                        "traits = [\"w\", \"b\"]\nmean = [0, 0]\nadditive = [[3, 1], [1, 2]]\n"
                        "maternal = [[1, 0.2], [0.2, 0.5]]\n"
                        "direct_maternal = [[0.5, 0], [-0.3, 0.2]]\n"
                        "residual = [[1, 0], [0, 1]]\n",
                        19}),
    [](const auto& named) { return std::string(named.param.name); });

// Two offspring of one dam by unknown sires: their records covary by a
// quarter of the direct variance, the dam's maternal and maternal permanent
// variances, and twice half the direct-maternal covariance.
TEST(MaternalCovariance, RecordsOfMaternalSibs)
{
    std::string lines;
    for (int d = 0; d < 6000; ++d) {
        const std::string dam = "d" + std::to_string(d);
        lines += dam + " 0 0\n" + dam + "a 0 " + dam + "\n" + dam + "b 0 " + dam + "\n";
    }
    const Pedigree pedigree = stats_test::written_pedigree(lines);
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const TraitModel model =
        model_read("traits = [\"w\"]\nmean = 0\nadditive = 4\nmaternal = 3\n"
                   "direct_maternal = -1\nmaternal_permanent = 2\nresidual = 5\n");
    const Simulated s = pedsim::traits::simulate(pedigree, inbreeding, model, 17, 2);
    double product = 0, squares = 0;
    const std::size_t dams = pedigree.size() / 3;
    for (std::size_t d = 0; d < dams; ++d) {
        const std::size_t first = stats_test::animal_named(pedigree, pedigree.names[3 * d] + "a");
        const double y1 = pedsim::traits::phenotype(s, model, inbreeding, first, 0, 0);
        const double y2 = pedsim::traits::phenotype(s, model, inbreeding, first + 1, 0, 0);
        product += y1 * y2;
        squares += y1 * y1;
    }
    const double covariance = 4.0 / 4 + 3 + 2 + 2 * 0.5 * -1;
    const double variance = 4 + 3 + 2 + 5 + 2 * 0.5 * -1;  // a dam's offspring: A(o, dam) = 1/2
    const double n = static_cast<double>(dams);
    EXPECT_NEAR(product / n, covariance,
                4 * std::sqrt((variance * variance + covariance * covariance) / n));
    EXPECT_NEAR(squares / n, variance, 4 * std::sqrt(2 * variance * variance / n));
}

// Contemporary groups: least squares on the records (a dense solve of the
// group-means model plus a sex effect) recovers each group's true value
// within its standard error: over replicates, z = (estimate - true) / se has
// mean square about 1 and no |z| beyond 4.5.
TEST(FixedEffects, DenseSolveRecoversTheGroups)
{
    const Pedigree pedigree = parents_and_offspring();
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const TraitModel model = model_read(
        "traits = [\"w\"]\nmean = 50\nadditive = 0\nresidual = 9\nrecorded_generations = [1, 1]\n"
        "[[fixed]]\nname = \"cg\"\ngroups = 12\nvariance = 25\n");
    double squares = 0, worst = 0;
    std::size_t estimates = 0;
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const Simulated s = pedsim::traits::simulate(pedigree, inbreeding, model, seed, 1);
        const auto& groups = s.fixed[0];
        const auto k = static_cast<Eigen::Index>(groups.level_count());
        Eigen::MatrixXd xtx = Eigen::MatrixXd::Zero(k, k);
        Eigen::VectorXd xty = Eigen::VectorXd::Zero(k);
        for (std::size_t i = 0; i < pedigree.size(); ++i) {
            if (!s.recorded[i]) continue;
            const auto g = static_cast<Eigen::Index>(groups.level[i]);
            xtx(g, g) += 1;
            xty(g) += pedsim::traits::phenotype(s, model, inbreeding, i, 0, 0);
        }
        const Eigen::VectorXd b = xtx.ldlt().solve(xty);
        for (Eigen::Index g = 0; g < k; ++g) {
            if (xtx(g, g) == 0) continue;  // a group of the unrecorded parents
            const double z =
                (b(g) - 50 - groups.values[static_cast<std::size_t>(g)]) / std::sqrt(9 / xtx(g, g));
            squares += z * z;
            worst = std::max(worst, std::abs(z));
            ++estimates;
        }
    }
    ASSERT_EQ(estimates, 20u * 12u);
    EXPECT_NEAR(squares / static_cast<double>(estimates), 1.0,
                4 * std::sqrt(2.0 / static_cast<double>(estimates)));
    EXPECT_LT(worst, 4.5);
}

struct ThresholdCase {
    const char* name;
    std::vector<double> thresholds;
};

class ThresholdIncidence : public testing::TestWithParam<ThresholdCase> {};

// The share of records in each category against Phi of the thresholds
// over the liability's standard deviation, within 4 binomial errors.
TEST_P(ThresholdIncidence, IsPhiOfTheThresholds)
{
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += "f" + std::to_string(i) + " 0 0\n";
    const Pedigree pedigree = stats_test::written_pedigree(lines);
    const std::vector<double> inbreeding(pedigree.size(), 0.0);
    const auto& thresholds = GetParam().thresholds;
    std::string list;
    for (const double t : thresholds) list += (list.empty() ? "" : ", ") + std::to_string(t);
    const TraitModel model = model_read("traits = [\"d\"]\nmean = 0.4\nadditive = 0.3\n"
                                        "residual = 0.7\nthreshold = [" +
                                        list + "]\n");
    const Simulated s = pedsim::traits::simulate(pedigree, inbreeding, model, 23, 2);
    std::vector<double> counts(thresholds.size() + 1, 0.0);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        counts.at(static_cast<std::size_t>(
            pedsim::traits::record_value(s, model, inbreeding, i, 0, 0)))++;
    const auto phi = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
    const double n = static_cast<double>(pedigree.size());
    for (std::size_t c = 0; c < counts.size(); ++c) {
        const double below = c < thresholds.size() ? phi(thresholds[c] - 0.4) : 1.0;
        const double above = c > 0 ? phi(thresholds[c - 1] - 0.4) : 0.0;
        const double p = below - above;
        EXPECT_NEAR(counts[c] / n, p, 4 * std::sqrt(p * (1 - p) / n)) << "category " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Traits, ThresholdIncidence,
                         testing::Values(ThresholdCase{"binary", {1.2}},
                                         ThresholdCase{"three_categories", {-0.5, 0.9}}),
                         [](const auto& named) { return std::string(named.param.name); });

const std::string kOneTrait = "traits = [\"w\"]\nmean = 1\nadditive = 2\nresidual = 3\n";

INSTANTIATE_TEST_SUITE_P(
    NewKeys, ModelRefusal,
    testing::Values(
        RefusalCase{"records_per_trait_length", kValid + "records = [1, 2, 3]\n",
                    "m.toml: line 5: records: expected a number, or an array of 2, one per "
                    "trait"},
        RefusalCase{"recorded_sex_word", kValid + "recorded_sex = [\"all\", \"cows\"]\n",
                    "m.toml: line 5: recorded_sex: expected \"all\", \"F\" or \"M\""},
        RefusalCase{"fraction_above_one", kValid + "recorded_fraction = [1, 1.5]\n",
                    "m.toml: line 5: recorded_fraction: expected a fraction from 0 to 1"},
        RefusalCase{"thresholds_descend", kOneTrait + "threshold = [1.0, 0.5]\n",
                    "m.toml: line 5: threshold: the thresholds of a trait must ascend; write "
                    "them smallest first"},
        RefusalCase{"threshold_lists", kValid + "threshold = [[1.0]]\n",
                    "m.toml: line 5: threshold: expected 2 lists, one per trait ([] when "
                    "continuous)"},
        RefusalCase{"cross_without_maternal", kOneTrait + "direct_maternal = 1\n",
                    "m.toml: line 5: direct_maternal: given without maternal; add maternal = "
                    "..."},
        RefusalCase{"joint_not_semi_definite", kOneTrait + "maternal = 2\ndirect_maternal = 2.5\n",
                    "m.toml: line 5: maternal: the joint matrix of additive, direct_maternal "
                    "and maternal: not positive semi-definite (a correlation beyond -1 .. 1, "
                    "or an inconsistent set); correct the covariances"},
        RefusalCase{"maternal_permanent_negative", kOneTrait + "maternal_permanent = -1\n",
                    "m.toml: line 5: maternal_permanent: the variance of trait 1 is negative; "
                    "variances are at least 0"},
        RefusalCase{"fixed_two_kinds",
                    kOneTrait + "[[fixed]]\nname = \"x\"\ngroups = 3\ncolumn = \"sex\"\n",
                    "m.toml: line 5: fixed: \"x\" needs exactly one of column, groups or "
                    "covariate"},
        // A column the pedigree may hold is refused once the pedigree is
        // read, when it does not (the end-to-end tests); these never can be.
        RefusalCase{"fixed_column_number_zero",
                    kOneTrait + "[[fixed]]\nname = \"x\"\ncolumn = 0\nvariance = 1\n",
                    "m.toml: line 7: fixed.column: a column number is 1 to 1000, counted from 1 "
                    "over the fields of a row"},
        RefusalCase{"fixed_column_empty",
                    kOneTrait + "[[fixed]]\nname = \"x\"\ncolumn = \"\"\nvariance = 1\n",
                    "m.toml: line 7: fixed.column: expected \"sex\", \"generation\", a column "
                    "name of the pedigree's header in quotes, or a column number"},
        RefusalCase{"fixed_column_fraction",
                    kOneTrait + "[[fixed]]\nname = \"x\"\ncolumn = 4.5\nvariance = 1\n",
                    "m.toml: line 7: fixed.column: expected \"sex\", \"generation\", a column "
                    "name of the pedigree's header in quotes, or a column number"},
        RefusalCase{"fixed_name_taken",
                    kOneTrait + "[[fixed]]\nname = \"w\"\ngroups = 2\nvariance = 1\n",
                    "m.toml: line 5: fixed.name: \"w\" is already a column of the records; "
                    "choose another name"},
        RefusalCase{"fixed_name_of_numeric_column",
                    kOneTrait + "[[fixed]]\nname = \"pe\"\ngroups = 2\nvariance = 1\n",
                    "m.toml: line 5: fixed.name: \"pe\" is already a column of the records; "
                    "choose another name"},
        RefusalCase{"fixed_without_values", kOneTrait + "[[fixed]]\nname = \"cg\"\ngroups = 2\n",
                    "m.toml: line 5: fixed: \"cg\" needs a variance or values"},
        RefusalCase{"covariate_without_slope",
                    kOneTrait + "[[fixed]]\nname = \"age\"\ncovariate = \"F\"\n",
                    "m.toml: line 5: fixed: \"age\": a covariate, and only a covariate, has a "
                    "slope"},
        RefusalCase{"fixed_unknown_key",
                    kOneTrait + "[[fixed]]\nname = \"cg\"\ngroups = 2\nlevels = 3\n",
                    "m.toml: line 8: fixed.levels: unknown key; the keys of [[fixed]] are "
                    "name, column, groups, covariate, variance, values, slope, age"},
        RefusalCase{"fixed_long_unknown_key",
                    kOneTrait + "[[fixed]]\nname = \"cg\"\ngroups = 2\n" + std::string(100, 'k') +
                        " = 3\n",
                    "m.toml: line 8: fixed." + std::string(40, 'k') +
                        "...: unknown key; the keys of [[fixed]] are name, column, groups, "
                        "covariate, variance, values, slope, age"},
        RefusalCase{"fixed_unknown_key_control_byte",
                    kOneTrait + "[[fixed]]\nname = \"cg\"\ngroups = 2\n\"a\\u0007b\" = 3\n",
                    "m.toml: line 8: fixed.a\\x07b: unknown key; the keys of [[fixed]] are "
                    "name, column, groups, covariate, variance, values, slope, age"}),
    [](const auto& named) { return std::string(named.param.name); });

// An age covariate of one trait; the age key, when a case adds it, is line 9.
const std::string kAgeEffect =
    kOneTrait + "[[fixed]]\nname = \"wa\"\ncovariate = \"age\"\nslope = 1\n";

INSTANTIATE_TEST_SUITE_P(
    AgeCovariate, ModelRefusal,
    testing::Values(
        RefusalCase{"unknown_covariate",
                    kOneTrait + "[[fixed]]\nname = \"x\"\ncovariate = \"weight\"\nslope = 1\n",
                    "m.toml: line 7: fixed.covariate: \"weight\" is not a covariate; the "
                    "covariates are F, generation and age"},
        RefusalCase{"age_missing", kAgeEffect,
                    "m.toml: line 5: fixed: \"wa\": covariate = \"age\" needs age = [from, to], "
                    "the whole ages at recording, e.g. [160, 250]"},
        RefusalCase{"age_of_another_covariate",
                    kOneTrait +
                        "[[fixed]]\nname = \"fc\"\ncovariate = \"F\"\nage = [1, 2]\nslope = 1\n",
                    "m.toml: line 8: fixed.age: only an effect with covariate = \"age\" has an "
                    "age range; remove it"},
        RefusalCase{"age_reversed", kAgeEffect + "age = [250, 160]\n",
                    "m.toml: line 9: fixed.age: the first age is above the last; write [from, "
                    "to], the youngest first"},
        RefusalCase{
            "age_negative", kAgeEffect + "age = [-1, 5]\n",
            "m.toml: line 9: fixed.age: an age of -1 is beyond 0 to 100000; give the ages at "
            "recording in a unit that keeps them within it"},
        RefusalCase{"age_fraction", kAgeEffect + "age = [160.5, 250]\n",
                    "m.toml: line 9: fixed.age: expected whole numbers from 0 to 100000, e.g. "
                    "[160, 250]"},
        RefusalCase{"age_one_number", kAgeEffect + "age = 160\n",
                    "m.toml: line 9: fixed.age: expected [from, to], two whole ages, e.g. [160, "
                    "250]"}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace

namespace {

// The portable logarithm, cosine and sine against the C library's over
// their whole range of use: u in (0, 1] from 2^-53 up, turns in [0, 1].
TEST(PortableMath, AgreesWithTheStandardLibrary)
{
    double worst_log = 0, worst_turn = 0;
    for (std::uint64_t k = 1; k <= 200000; ++k) {
        // Every binade of (0, 1] and, within it, spread mantissas.
        const double u =
            std::ldexp(1.0 + static_cast<double>((k * 2654435761u) % 1000003) / 1000003,
                       -static_cast<int>(k % 54) - 1);
        worst_log = std::max(worst_log, std::abs(pedsim::traits::portable_log(u) - std::log(u)) /
                                            std::max(1.0, std::abs(std::log(u))));
        const double turns = static_cast<double>(k) / 200000;
        const auto turn = pedsim::traits::portable_turn(turns);
        const double angle = 2 * std::numbers::pi * turns;
        worst_turn = std::max({worst_turn, std::abs(turn.cosine - std::cos(angle)),
                               std::abs(turn.sine - std::sin(angle))});
    }
    // The reference angle 2 pi turns is itself rounded, by up to 4.4e-16
    // near 2 pi.
    EXPECT_LT(worst_log, 4e-16);
    EXPECT_LT(worst_turn, 1e-15);
    EXPECT_EQ(pedsim::traits::portable_log(1.0), 0.0);
    EXPECT_EQ(pedsim::traits::portable_turn(0.25).sine, 1.0);
    EXPECT_EQ(pedsim::traits::portable_turn(0.5).cosine, -1.0);
}

// The first deviates of three animals' streams, pinned: any change of the
// generator, the hash, the counter or the conversion changes every
// simulation a seed gives, and must show here.
TEST(AnimalDraws, KnownAnswers)
{
    const struct {
        std::uint64_t seed;
        const char* identifier;
        std::uint64_t stream;
        std::vector<double> expected;
    } cases[] = {
        {2024,
         "1",
         0,
         {0.6014731650959767, 0.53259790646940086, 0.77147661770935971, 1.5947968077799133,
          1.2048495292645303}},
        {2024,
         "1",
         1,
         {-0.073559085846920239, 0.48239436161746868, 0.096429920357521098, -1.7697255025336003,
          2.2112556974742841}},
        {7,
         "DE0123456789",
         2,
         {-0.63211577856313528, 1.6189620342032487, -1.7876072568800223, -0.049987801222469874,
          -0.034856257608318036}},
    };
    for (const auto& [seed, identifier, stream, expected] : cases) {
        std::vector<double> deviates(5);
        pedsim::traits::normal_deviates(seed, pedsim::traits::identifier_hash(identifier), stream,
                                        deviates);
        EXPECT_EQ(deviates, expected) << identifier << ", stream " << stream;
    }
}

}  // namespace
