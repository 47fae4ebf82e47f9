// Tests of the breeding program: every refusal of a program file, the
// prediction against its published figures, F of new offspring against a
// tabular relationship matrix, and runs against theory: mass selection
// against the prediction, random selection against the drift of the
// variance, BLUP against phenotype selection.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "breed/breeding_run.h"
#include "breed/population.h"
#include "breed/prediction.h"
#include "breed/program.h"
#include "breed/selection.h"
#include "common/failure.h"

namespace {

using pedsim::breed::BreedingProgram;
using pedsim::breed::BreedingRun;

// A valid program, one key a line: the refusals below name these lines.
const std::string valid_program = "seed = 11\n"              // 1
                                  "generations = 3\n"        // 2
                                  "traits = [\"growth\"]\n"  // 3
                                  "additive = 0.3\n"         // 4
                                  "residual = 0.7\n"         // 5
                                  "[base]\n"                 // 6
                                  "males = 20\n"             // 7
                                  "females = 20\n"           // 8
                                  "[selection]\n"            // 9
                                  "criterion = \"blup\"\n"   // 10
                                  "sires = 4\n"              // 11
                                  "dams = 10\n"              // 12
                                  "[mating]\n"               // 13
                                  "offspring = 4\n"          // 14
                                  "design = \"random\"\n";   // 15

std::string with(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("no " + from + " in the program");
    return text.replace(at, from.size(), to);
}

struct Refusal {
    const char* what;
    std::string text;
    std::string message;  // the start of the one-line message
};

class ProgramRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(ProgramRefusal, NamesFileLineAndKey)
{
    try {
        pedsim::breed::read_program(GetParam().text, "p.toml");
        FAIL() << "accepted";
    } catch (const pedsim::common::Failure& failure) {
        EXPECT_EQ(failure.status(), pedsim::common::ExitStatus::input_refused);
        EXPECT_EQ(std::string(failure.what()).substr(0, GetParam().message.size()),
                  GetParam().message)
            << failure.what();
    }
}

const std::string p = valid_program;
INSTANTIATE_TEST_SUITE_P(
    Breed, ProgramRefusal,
    testing::Values(
        Refusal{"unknown_key", with(p, "generations = 3\n", "generations = 3\ncolour = 1\n"),
                "p.toml: line 3: \"colour\": unknown key; the keys are seed, traits"},
        Refusal{"generations_text", with(p, "generations = 3", "generations = \"3\""),
                "p.toml: line 2: generations: expected an integer"},
        Refusal{"generations_negative", with(p, "generations = 3", "generations = -1"),
                "p.toml: line 2: generations: expected an integer from 0 to 10000"},
        Refusal{"generations_missing", with(p, "generations = 3\n", ""),
                "p.toml: line 1: generations: missing"},
        Refusal{"base_unknown_key", with(p, "females = 20\n", "females = 20\nbulls = 3\n"),
                "p.toml: line 9: base.bulls: unknown key; the keys of [base] are males, females"},
        Refusal{"base_long_unknown_key",
                with(p, "females = 20\n", "females = 20\n" + std::string(100, 'x') + " = 3\n"),
                "p.toml: line 9: base." + std::string(40, 'x') + "...: unknown key"},
        Refusal{"base_not_table", with(p, "[base]\nmales = 20\nfemales = 20\n", "base = 3\n"),
                "p.toml: line 6: base: expected a table"},
        Refusal{"base_no_males", with(p, "males = 20", "males = 0"),
                "p.toml: line 7: base.males: expected an integer from 1"},
        Refusal{"selection_missing",
                with(p, "[selection]\ncriterion = \"blup\"\nsires = 4\ndams = 10\n", ""),
                "p.toml: line 1: selection: missing"},
        Refusal{"criterion_unknown", with(p, "\"blup\"", "\"best\""),
                "p.toml: line 10: selection.criterion: expected one of random, phenotype, tbv, "
                "parent_average, blup"},
        Refusal{"criterion_number", with(p, "\"blup\"", "3"),
                "p.toml: line 10: selection.criterion: expected one of"},
        Refusal{"sires_beyond_base", with(p, "sires = 4", "sires = 30"),
                "p.toml: line 11: selection.sires: 30 is more than the base's 20 males"},
        Refusal{"dams_beyond_offspring", with(p, "offspring = 4", "offspring = 1"),
                "p.toml: line 12: selection.dams: 10 is more than the 5 females expected"},
        Refusal{"no_offspring", with(p, "offspring = 4", "offspring = 0"),
                "p.toml: line 14: mating.offspring: expected an integer from 1"},
        Refusal{"sires_real", with(p, "sires = 4", "sires = 4.5"),
                "p.toml: line 11: selection.sires: expected an integer"},
        Refusal{"design_unknown", with(p, "\"random\"", "\"cousins\""),
                "p.toml: line 15: mating.design: expected one of random, avoid_full_sibs"},
        Refusal{"design_impossible",
                with(with(p, "sires = 4", "sires = 1"), "\"random\"", "\"avoid_half_sibs\""),
                "p.toml: line 15: mating.design: with one sire"},
        Refusal{"mating_unknown_key", with(p, "offspring = 4\n", "offspring = 4\nlitters = 2\n"),
                "p.toml: line 15: mating.litters: unknown key"},
        Refusal{"index_length", with(p, "sires = 4\n", "index = [1.0, 2.0]\nsires = 4\n"),
                "p.toml: line 11: selection.index: expected an array of 1 weights"},
        Refusal{"index_zero", with(p, "sires = 4\n", "index = [0.0]\nsires = 4\n"),
                "p.toml: line 11: selection.index: every weight is 0"},
        Refusal{"recorded_unknown", with(p, "dams = 10\n", "dams = 10\nrecorded = \"cows\"\n"),
                "p.toml: line 13: selection.recorded: expected one of all, females, males"},
        Refusal{"phenotype_sex_limited",
                with(with(p, "\"blup\"", "\"phenotype\""), "dams = 10\n",
                     "dams = 10\nrecorded = \"females\"\n"),
                "p.toml: line 10: selection.criterion: phenotype ranks candidates on their own"},
        Refusal{"recorded_against_trait",
                with(with(p, "residual = 0.7\n", "residual = 0.7\nrecorded_sex = \"M\"\n"),
                     "dams = 10\n", "dams = 10\nrecorded = \"females\"\n"),
                "p.toml: line 14: selection.recorded: trait \"growth\" is recorded on the other"},
        Refusal{"blup_without_variance", with(p, "additive = 0.3", "additive = 0.0"),
                "p.toml: line 4: additive: the evaluation by BLUP needs a positive definite"},
        Refusal{"trait_refusal", with(p, "residual = 0.7", "residual = -0.7"),
                "p.toml: line 5: residual: the variance of trait 1 is negative"},
        Refusal{"threshold_unsupported",
                with(p, "residual = 0.7\n", "residual = 0.7\nthreshold = [0.5]\n"),
                "p.toml: line 6: threshold: pedsim-breed does not simulate"},
        Refusal{"fixed_unsupported", p + "[[fixed]]\nname = \"herd\"\ngroups = 3\nvariance = 1.0\n",
                "p.toml: line 16: fixed: pedsim-breed does not simulate"},
        Refusal{"ages_unknown_key", p + "[ages]\nsire_years = 2\n",
                "p.toml: line 17: ages.sire_years: unknown key"},
        Refusal{"ages_zero", p + "[ages]\nsire_generations = 0\n",
                "p.toml: line 17: ages.sire_generations: expected an integer from 1 to 100"},
        Refusal{"too_many_animals",
                with(with(with(p, "females = 20", "females = 100000000"), "dams = 10",
                          "dams = 100000000"),
                     "offspring = 4", "offspring = 10000"),
                "p.toml: line 2: generations: the program makes"},
        Refusal{"criterion_missing", with(p, "criterion = \"blup\"\n", ""),
                "p.toml: line 9: selection.criterion: missing"},
        Refusal{"mating_missing", with(p, "[mating]\noffspring = 4\ndesign = \"random\"\n", ""),
                "p.toml: line 1: mating: missing"},
        Refusal{"sires_beyond_offspring",
                with(with(p, "sires = 4", "sires = 19"), "dams = 10", "dams = 9"),
                "p.toml: line 11: selection.sires: 19 is more than the 18 males expected"},
        Refusal{"index_missing_two_traits",
                with(with(with(p, "[\"growth\"]", "[\"growth\", \"fat\"]"), "additive = 0.3",
                          "additive = [[0.3, 0.0], [0.0, 0.2]]"),
                     "residual = 0.7", "residual = [[0.7, 0.0], [0.0, 0.8]]"),
                "p.toml: line 9: selection.index: missing; with several traits"},
        Refusal{"index_text", with(p, "sires = 4\n", "index = [\"a\"]\nsires = 4\n"),
                "p.toml: line 11: selection.index: expected numbers"},
        Refusal{"index_inexact_integer",
                with(p, "sires = 4\n", "index = -9007199254740993\nsires = 4\n"),
                "p.toml: line 11: selection.index: an integer beyond 2^53"},
        Refusal{"blup_singular_permanent",
                with(p, "residual = 0.7\n", "residual = 0.7\npermanent = 0.0\n"),
                "p.toml: line 6: permanent: the evaluation by BLUP needs a positive definite"},
        Refusal{"ages_not_table", "ages = 2\n" + p, "p.toml: line 1: ages: expected a table"},
        Refusal{"toml_syntax", with(p, "sires = 4", "sires = = 4"), "p.toml: line 11: "}),
    [](const testing::TestParamInfo<Refusal>& param_info) {
        return std::string(param_info.param.what);
    });

TEST(Program, ValidProgramReadsEveryKey)
{
    const BreedingProgram program = pedsim::breed::read_program(
        p + "[ages]\nsire_generations = 2\ndam_generations = 3\n", "p.toml");
    EXPECT_EQ(program.generations, 3u);
    EXPECT_EQ(program.base_males, 20u);
    EXPECT_EQ(program.criterion, pedsim::breed::Criterion::blup);
    EXPECT_EQ(program.index, std::vector<double>{1.0});
    EXPECT_EQ(program.sires, 4u);
    EXPECT_EQ(program.dams, 10u);
    EXPECT_EQ(program.offspring, 4u);
    EXPECT_EQ(program.sire_generations, 2u);
    EXPECT_EQ(program.dam_generations, 3u);
    EXPECT_EQ(program.model.mean, std::vector<double>{0.0});
}

// The figures of the mass-selection design: 10% of males, 50% of females,
// h2 = 0.3, sigma2_P,0 = 1, no inbreeding.
TEST(Prediction, MassSelectionFigures)
{
    struct Case {
        double proportion, intensity, shrinkage;
    };
    for (const Case& c : {Case{0.1, 1.7550, 0.8310}, Case{0.5, 0.7979, 0.6366}, Case{1.0, 0, 0}}) {
        const auto t = pedsim::breed::truncation_of(c.proportion);
        EXPECT_NEAR(t.intensity, c.intensity, 5e-4) << c.proportion;
        EXPECT_NEAR(t.shrinkage, c.shrinkage, 5e-4) << c.proportion;
    }
    const std::vector<pedsim::breed::RoundOfSelection> rounds(3, {0.1, 0.5, 0.0});
    const auto prediction = pedsim::breed::predict(0.3, 0.7, rounds);
    const double response[] = {0.383, 0.347, 0.335}, additive[] = {0.300, 0.267, 0.2564};
    for (std::size_t t = 0; t < 3; ++t) {
        EXPECT_NEAR(prediction.response[t], response[t], 5e-4) << t;
        EXPECT_NEAR(prediction.additive[t], additive[t], 5e-4) << t;
    }
}

// F of each mating's offspring against half the relationship of its parents
// in the tabular A of an inbred pedigree.
TEST(MatingInbreeding, MatchesTabularRelationships)
{
    pedsim::pedigree::Pedigree pedigree;
    const std::vector<pedsim::pedigree::AnimalIndex> sire{-1, -1, -1, 0, 0, 3, 3, 5, 5, 7};
    const std::vector<pedsim::pedigree::AnimalIndex> dam{-1, -1, -1, 1, 2, 4, 1, 6, 4, 8};
    const std::size_t n = sire.size();
    // The tabular method: A_ij = (A_i,s_j + A_i,d_j) / 2 for i < j, A_jj = 1 + A_s_j,d_j / 2.
    std::vector<double> a(n * n, 0.0), f(n), d(n);
    const auto at = [&](long i, long j) {
        return i < 0 || j < 0 ? 0.0
                              : a[static_cast<std::size_t>(i) * n + static_cast<std::size_t>(j)];
    };
    for (std::size_t j = 0; j < n; ++j) {
        f[j] = 0.5 * at(sire[j], dam[j]);
        a[j * n + j] = 1 + f[j];
        for (std::size_t i = 0; i < j; ++i)
            a[i * n + j] = a[j * n + i] =
                0.5 * (at(static_cast<long>(i), sire[j]) + at(static_cast<long>(i), dam[j]));
    }
    pedigree.sire = sire;
    pedigree.dam = dam;
    for (std::size_t j = 0; j < n; ++j) {
        pedigree.names.push_back(std::to_string(j + 1));
        const double fs = sire[j] < 0 ? 0 : f[static_cast<std::size_t>(sire[j])];
        const double fd = dam[j] < 0 ? 0 : f[static_cast<std::size_t>(dam[j])];
        d[j] = sire[j] < 0 ? 1.0 : 0.5 - 0.25 * (fs + fd);
    }
    std::vector<pedsim::breed::Mating> matings;
    for (pedsim::pedigree::AnimalIndex s = 0; s < 10; ++s)
        for (pedsim::pedigree::AnimalIndex m = 0; m < 10; ++m) matings.push_back({s, m});
    for (const std::size_t threads : {1u, 2u}) {
        const auto found = pedsim::breed::mating_inbreeding(pedigree, d, matings, threads);
        for (std::size_t k = 0; k < matings.size(); ++k)
            EXPECT_NEAR(found[k], 0.5 * at(matings[k].sire, matings[k].dam), 1e-14)
                << matings[k].sire << " x " << matings[k].dam;
    }
}

// Runs `text` with `seed` on two threads.
BreedingRun run(const std::string& text, std::uint64_t seed)
{
    const BreedingProgram program = pedsim::breed::read_program(text, "p.toml");
    return pedsim::breed::run_breeding(program, seed, 2, [](std::string_view, double) {});
}

struct GenerationMoments {
    std::vector<double> mean, variance, mean_f;
};

GenerationMoments moments(const BreedingRun& run)
{
    const auto& population = run.population;
    const std::size_t generations = run.rounds.size();
    GenerationMoments m{std::vector<double>(generations), std::vector<double>(generations),
                        std::vector<double>(generations)};
    std::vector<double> count(generations), squares(generations);
    for (std::size_t i = 0; i < population.size(); ++i) {
        const auto g = static_cast<std::size_t>(population.pedigree.generation[i]);
        count[g] += 1;
        m.mean[g] += population.simulated.value(i, 0);
        squares[g] += population.simulated.value(i, 0) * population.simulated.value(i, 0);
        m.mean_f[g] += population.inbreeding[i];
    }
    for (std::size_t g = 0; g < generations; ++g) {
        m.mean[g] /= count[g];
        m.mean_f[g] /= count[g];
        m.variance[g] = (squares[g] / count[g] - m.mean[g] * m.mean[g]) * count[g] / (count[g] - 1);
    }
    return m;
}

double mean_of(const std::vector<double>& values)
{
    double sum = 0;
    for (const double v : values) sum += v;
    return sum / static_cast<double>(values.size());
}

// The standard error of the mean of `values`, at least `floor`.
double standard_error(const std::vector<double>& values, double floor)
{
    const double m = mean_of(values);
    double squares = 0;
    for (const double v : values) squares += (v - m) * (v - m);
    const auto n = static_cast<double>(values.size());
    return std::max(std::sqrt(squares / (n - 1) / n), floor);
}

// Mass selection on phenotype, about 10,000 candidates of each sex, 10% of
// males and 50% of females: the realised response and variance of the first
// generations against the prediction, over replicates.
TEST(MassSelection, FollowsThePrediction)
{
    const std::string program = "generations = 3\ntraits = [\"y\"]\nadditive = 0.3\n"
                                "residual = 0.7\n[base]\nmales = 10000\nfemales = 10000\n"
                                "[selection]\ncriterion = \"phenotype\"\nsires = 1000\n"
                                "dams = 5000\n[mating]\noffspring = 4\n";
    const double response[] = {0.383, 0.347, 0.335}, additive[] = {0.300, 0.267, 0.2564};
    std::vector<std::vector<double>> realised(3), variance(3);
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const GenerationMoments m = moments(run(program, seed));
        for (std::size_t t = 0; t < 3; ++t) {
            realised[t].push_back(m.mean[t + 1] - m.mean[t]);
            variance[t].push_back(m.variance[t]);
        }
    }
    for (std::size_t t = 0; t < 3; ++t) {
        // The floors: the sampling errors of a difference of two means and of
        // a variance of 20,000 animals, over four replicates.
        const double se_response = standard_error(realised[t], 0.004);
        const double se_variance = standard_error(variance[t], 0.3 * std::sqrt(2.0 / 20000) / 2);
        EXPECT_NEAR(mean_of(realised[t]), response[t], 4 * se_response) << "generation " << t;
        EXPECT_NEAR(mean_of(variance[t]), additive[t], 4 * se_variance) << "generation " << t;
    }
}

// Random selection leaves the variance of the true values to drift alone:
// within a generation G (1 + mean F - 2 mean coancestry), as pedsim-traits
// expects it.
TEST(RandomSelection, VarianceFollowsDrift)
{
    const std::string program = "generations = 8\ntraits = [\"y\"]\nadditive = 1.0\n"
                                "residual = 1.0\n[base]\nmales = 500\nfemales = 500\n"
                                "[selection]\ncriterion = \"random\"\nsires = 10\n"
                                "dams = 250\n[mating]\noffspring = 4\n";
    std::vector<double> ratios;
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const BreedingRun result = run(program, seed);
        const GenerationMoments m = moments(result);
        for (std::size_t g = 1; g < result.rounds.size(); ++g)
            ratios.push_back(m.variance[g] / (1 + m.mean_f[g] - 2 * result.mean_coancestry[g]));
    }
    // 32 generations of about 1,000 animals: the ratio's error is about 0.03.
    EXPECT_NEAR(mean_of(ratios), 1.0, 4 * standard_error(ratios, 0.01));
    // Without selection the mean stays at 0 within drift.
    EXPECT_LT(std::abs(moments(run(program, 9)).mean.back()), 0.5);
}

// At h2 = 0.1 BLUP uses the relatives' records: more response than
// phenotype selection, bought with more inbreeding, which phenotype
// selection raises over random selection. F after six rounds from a base of
// F = 0 is six times the mean rate; summed over eight seeds, as phenotype
// selection adds only a fifth to random selection's rate here.
TEST(Criteria, BlupBeatsPhenotypeAndInbreedsMore)
{
    const std::string program = "generations = 6\ntraits = [\"y\"]\nadditive = 0.1\n"
                                "residual = 0.9\n[base]\nmales = 200\nfemales = 200\n"
                                "[selection]\ncriterion = \"CRITERION\"\nsires = 10\n"
                                "dams = 100\n[mating]\noffspring = 6\n";
    struct Outcome {
        double response = 0, inbreeding = 0;
    };
    const auto outcome = [&](const char* criterion) {
        Outcome o;
        for (std::uint64_t seed = 1; seed <= 8; ++seed) {
            const GenerationMoments m = moments(run(with(program, "CRITERION", criterion), seed));
            o.response += m.mean.back() - m.mean.front();
            o.inbreeding += m.mean_f.back();
        }
        return o;
    };
    const Outcome blup = outcome("blup"), phenotype = outcome("phenotype"),
                  random = outcome("random");
    EXPECT_GT(blup.response, phenotype.response);
    EXPECT_GT(phenotype.response, random.response);
    EXPECT_GT(blup.inbreeding, phenotype.inbreeding);
    EXPECT_GT(phenotype.inbreeding, random.inbreeding);
}

// Each design's matings: no pair the design forbids, and the sires of a
// round sharing its dams evenly (within one).
class MatingDesignCase : public testing::TestWithParam<const char*> {};

TEST_P(MatingDesignCase, MatingsMeetTheDesignAndShareTheDams)
{
    const std::string text =
        with(with(valid_program, "\"random\"", std::string("\"") + GetParam() + "\""), "\"blup\"",
             "\"tbv\"");
    const BreedingProgram program = pedsim::breed::read_program(text, "p.toml");
    const BreedingRun result = run(text, 5);
    ASSERT_TRUE(result.notes.empty()) << result.notes.front();
    const auto& pedigree = result.population.pedigree;
    std::map<std::pair<std::int64_t, pedsim::pedigree::AnimalIndex>,
             std::set<pedsim::pedigree::AnimalIndex>>
        dams_of;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (pedigree.sire[i] == pedsim::pedigree::unknown) continue;
        EXPECT_FALSE(pedsim::breed::breaks_design(pedigree, program.design, pedigree.sire[i],
                                                  pedigree.dam[i]))
            << "animal " << pedigree.names[i];
        dams_of[{pedigree.generation[i], pedigree.sire[i]}].insert(pedigree.dam[i]);
    }
    std::map<std::int64_t, std::pair<std::size_t, std::size_t>> spread;  // fewest, most
    for (const auto& [key, dams] : dams_of) {
        auto& [fewest, most] =
            spread.try_emplace(key.first, dams.size(), dams.size()).first->second;
        fewest = std::min(fewest, dams.size());
        most = std::max(most, dams.size());
    }
    for (const auto& [generation, range] : spread)
        EXPECT_LE(range.second - range.first, 1u) << "generation " << generation;
    EXPECT_EQ(spread.size(), program.generations);
}

INSTANTIATE_TEST_SUITE_P(Breed, MatingDesignCase,
                         testing::Values("random", "avoid_full_sibs", "avoid_half_sibs"));

// With [ages] a male stays a candidate for sire_generations rounds, a female
// for dam_generations: the candidates of each round are exactly those born
// in its window, and every parent chosen is one of them.
TEST(Ages, CandidatesAreTheAnimalsBornInTheWindow)
{
    const std::string text = valid_program + "[ages]\nsire_generations = 2\ndam_generations = 3\n";
    const BreedingProgram program = pedsim::breed::read_program(text, "p.toml");
    const BreedingRun result = run(text, 3);
    const auto& population = result.population;
    for (std::size_t round = 0; round < result.rounds.size(); ++round) {
        std::size_t males = 0, females = 0;
        for (std::size_t i = 0; i < population.size(); ++i) {
            const std::int64_t age =
                static_cast<std::int64_t>(round) - population.pedigree.generation[i];
            const bool male = population.pedigree.sex[i] == pedsim::pedigree::Sex::male;
            const auto window = static_cast<std::int64_t>(male ? program.sire_generations
                                                               : program.dam_generations);
            if (age >= 0 && age < window) ++(male ? males : females);
        }
        EXPECT_EQ(result.rounds[round].candidates_male, males) << "round " << round;
        EXPECT_EQ(result.rounds[round].candidates_female, females) << "round " << round;
    }
    for (std::size_t i = 0; i < population.size(); ++i)
        for (const auto parent : {population.pedigree.sire[i], population.pedigree.dam[i]}) {
            if (parent == pedsim::pedigree::unknown) continue;
            const auto q = static_cast<std::size_t>(parent);
            const std::int64_t age =
                population.pedigree.generation[i] - 1 - population.pedigree.generation[q];
            const bool male = population.pedigree.sex[q] == pedsim::pedigree::Sex::male;
            EXPECT_LT(age, static_cast<std::int64_t>(male ? program.sire_generations
                                                          : program.dam_generations))
                << "parent " << population.pedigree.names[q] << " of "
                << population.pedigree.names[i];
        }
}

}  // namespace
