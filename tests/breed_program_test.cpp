// End-to-end tests of pedsim-breed: the built program run as a user runs it,
// its pedigree read by pedsim-stats and its records checked against
// pedsim-traits' draws on the same pedigree.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/end_to_end.h"

namespace {

using end_to_end::Sandbox;

// Two traits, repeated records and permanent effects, BLUP on a sex-limited
// second trait: every part of the evaluation and of the tables at work.
const std::string kTraitKeys =
    "traits = [\"milk\", \"growth\"]\nmean = [30.0, 5.0]\n"
    "additive = [[4.0, 0.5], [0.5, 1.0]]\nresidual = [[8.0, 0.2], [0.2, 2.0]]\n"
    "permanent = [[2.0, 0.0], [0.0, 0.5]]\nrecords = 2\n";
const std::string kProgram = "seed = 7\ngenerations = 4\n" + kTraitKeys +
                             "recorded_sex = [\"F\", \"all\"]\n"
                             "[base]\nmales = 40\nfemales = 60\n"
                             "[selection]\ncriterion = \"blup\"\nindex = [1.0, 0.5]\n"
                             "sires = 6\ndams = 30\n[mating]\noffspring = 4\n"
                             "design = \"avoid_full_sibs\"\n[ages]\ndam_generations = 2\n";

end_to_end::Run breed(const Sandbox& box, const std::vector<std::string>& args)
{
    return box.run(args, std::chrono::seconds(60), {}, PEDSIM_BREED_BINARY);
}

const std::vector<std::string> kOutputs = {"ped.txt",          "animals.txt",
                                           "records.txt",      "summary.txt",
                                           "numeric/data.txt", "numeric/pedigree.txt"};

std::vector<std::string> all_outputs_args(const std::string& threads, const std::string& seed)
{
    return {"--program", "p.toml",      "-o",        "ped.txt",     "--animals", "animals.txt",
            "--records", "records.txt", "--summary", "summary.txt", "--numeric", "numeric",
            "--threads", threads,       "--seed",    seed};
}

std::map<std::string, std::string> outputs_of(const Sandbox& box)
{
    std::map<std::string, std::string> texts;
    for (const std::string& name : kOutputs) texts[name] = box.read(name).value_or("(missing)");
    return texts;
}

TEST(BreedProgram, SameSeedSameBytesWhateverTheThreads)
{
    Sandbox box;
    box.write("p.toml", kProgram);
    std::vector<std::map<std::string, std::string>> runs;
    for (const auto& [threads, seed] : std::vector<std::pair<std::string, std::string>>{
             {"1", "7"}, {"1", "7"}, {"2", "7"}, {"2", "8"}}) {
        const end_to_end::Run run = breed(box, all_outputs_args(threads, seed));
        ASSERT_EQ(run.status, 0) << run.err;
        runs.push_back(outputs_of(box));
    }
    for (const std::string& name : kOutputs) {
        EXPECT_EQ(runs[0][name], runs[1][name]) << name << ": the same seed twice";
        EXPECT_EQ(runs[0][name], runs[2][name]) << name << ": 1 and 2 threads";
    }
    EXPECT_NE(runs[0]["animals.txt"], runs[3]["animals.txt"]) << "another seed";
}

// Splits a tab-separated table into rows of cells, "# " lines left out.
std::vector<std::vector<std::string>> rows_of(const std::string& text)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("#")) continue;
        std::vector<std::string> cells;
        std::istringstream fields(line);
        for (std::string cell; std::getline(fields, cell, '\t');) cells.push_back(cell);
        rows.push_back(cells);
    }
    return rows;
}

std::size_t column(const std::vector<std::string>& header, const std::string& name)
{
    const auto found = std::find(header.begin(), header.end(), name);
    if (found == header.end()) throw std::runtime_error("no column " + name);
    return static_cast<std::size_t>(found - header.begin());
}

TEST(BreedProgram, PedsimStatsReadsThePedigreeAndFindsTheSameInbreeding)
{
    Sandbox box;
    box.write("p.toml", kProgram);
    ASSERT_EQ(
        breed(box, {"--program", "p.toml", "-o", "ped.txt", "--summary", "summary.txt"}).status, 0);
    const end_to_end::Run stats =
        box.run({"ped.txt"}, std::chrono::seconds(60), {}, PEDSIM_STATS_BINARY);
    ASSERT_EQ(stats.status, 0) << stats.err;
    const auto ours = rows_of(*box.read("summary.txt")), theirs = rows_of(stats.out);
    ASSERT_EQ(ours.size(), 6u);
    ASSERT_EQ(theirs.size(), ours.size());
    for (const std::string name : {"mean_F", "mean_coancestry"})
        for (std::size_t g = 1; g < ours.size(); ++g)
            EXPECT_NEAR(std::stod(ours[g][column(ours[0], name)]),
                        std::stod(theirs[g][column(theirs[0], name)]), 1e-12)
                << name << " of generation " << g - 1;
}

// The records are those pedsim-traits draws on the pedigree with the seed:
// the same values, keyed by the same identifiers.
TEST(BreedProgram, RecordsAreThoseOfPedsimTraitsOnItsPedigree)
{
    Sandbox box;
    box.write("p.toml", kProgram);
    box.write("model.toml", kTraitKeys + "recorded_sex = [\"F\", \"all\"]\n");
    ASSERT_EQ(breed(box, {"--program", "p.toml", "-o", "ped.txt", "--records", "records.txt",
                          "--summary", "summary.txt"})
                  .status,
              0);
    const end_to_end::Run traits = box.run({"--model", "model.toml", "--seed", "7", "-o",
                                            "traits.txt", "--check", "check.txt", "ped.txt"},
                                           std::chrono::seconds(60), {}, PEDSIM_TRAITS_BINARY);
    ASSERT_EQ(traits.status, 0) << traits.err;
    EXPECT_EQ(*box.read("records.txt"), *box.read("traits.txt"));
}

struct Refused {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string message;
};

class BreedRefusal : public testing::TestWithParam<Refused> {};

TEST_P(BreedRefusal, OneLineAndEveryOutputAsItWas)
{
    Sandbox box;
    box.write("p.toml", kProgram);
    box.write("bad.toml", "colour = 3\n" + kProgram);
    box.write("ped.txt", "old pedigree\n");
    const end_to_end::Run run = breed(box, GetParam().args);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_EQ(run.err.substr(0, GetParam().message.size()), GetParam().message) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(*box.read("ped.txt"), "old pedigree\n");
}

INSTANTIATE_TEST_SUITE_P(
    BreedProgram, BreedRefusal,
    testing::Values(
        Refused{"no_program",
                {"-o", "ped.txt"},
                2,
                "pedsim-breed: no breeding program; give --program"},
        Refused{"unknown_option",
                {"--program", "p.toml", "--colour"},
                2,
                "pedsim-breed: unknown option --colour"},
        Refused{"operand",
                {"--program", "p.toml", "ped.txt"},
                2,
                "pedsim-breed: unexpected operand ped.txt"},
        Refused{"threads_zero",
                {"--program", "p.toml", "--threads", "0"},
                2,
                "pedsim-breed: --threads \"0\" is not an integer from 1 to 64"},
        Refused{"output_is_program", {"--program", "p.toml", "-o", "p.toml"}, 2, "pedsim-breed: "},
        Refused{"two_outputs_one_file",
                {"--program", "p.toml", "-o", "ped.txt", "--animals", "ped.txt"},
                2,
                "pedsim-breed: "},
        Refused{"program_refused",
                {"--program", "bad.toml", "-o", "ped.txt"},
                1,
                "pedsim-breed: bad.toml: line 1: \"colour\": unknown key; the keys are seed"},
        Refused{"program_missing",
                {"--program", "none.toml", "-o", "ped.txt"},
                4,
                "pedsim-breed: none.toml"}),
    [](const testing::TestParamInfo<Refused>& param_info) {
        return std::string(param_info.param.what);
    });

TEST(BreedProgram, HelpVersionAndStandardOutput)
{
    Sandbox box;
    box.write("p.toml", kProgram);
    const end_to_end::Run help = breed(box, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--program FILE"), std::string::npos);
    const end_to_end::Run version = breed(box, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("pedsim-breed ")) << version.out;
    const end_to_end::Run dash =
        breed(box, {"--program", "p.toml", "-o", "-", "--summary", "summary.txt"});
    ASSERT_EQ(dash.status, 0) << dash.err;
    EXPECT_TRUE(dash.out.starts_with("animal\tsire\tdam\tgeneration\tsex\n1\t0\t0\t0\tM\n"))
        << dash.out.substr(0, 80);
    EXPECT_EQ(dash.err, "");
}

}  // namespace
