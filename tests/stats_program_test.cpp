// End-to-end tests of pedsim-stats: the built program run as a user runs it,
// each run in a fresh directory, on pedigrees written there or by pedsim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "end_to_end.h"

namespace {

using end_to_end::Run;
using end_to_end::Sandbox;

constexpr int kRefused = 1, kUsage = 2, kFileError = 4;

// Three generations, written as a user might: a header, commas, a parent
// (X) without a row.
const std::string kPedigree = "id,sire,dam\nA,,\nB,NA,NA\nC,A,B\nD,A,B\nE,C,X\nF,C,D\n";

Run run_stats(const Sandbox& box, const std::vector<std::string>& args,
              const std::vector<std::string>& launcher = {})
{
    return box.run(args, std::chrono::seconds(60), launcher, PEDSIM_STATS_BINARY);
}

// A launcher that runs the program with its standard input or output redirected.
std::vector<std::string> redirected(const std::string& redirection)
{
    return {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + redirection};
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The cells of the table row whose generation is `generation`, by column.
std::map<std::string, std::string> row_of(const std::string& table, const std::string& generation)
{
    std::vector<std::string> header;
    for (const std::string& line : lines_of(table)) {
        if (line.starts_with("#")) continue;
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        if (line.ends_with('\t')) cells.emplace_back();
        if (header.empty()) {
            header = cells;
        } else if (cells.at(0) == generation) {
            EXPECT_EQ(cells.size(), header.size()) << line;
            std::map<std::string, std::string> row;
            for (std::size_t k = 0; k < cells.size() && k < header.size(); ++k)
                row[header[k]] = cells[k];
            return row;
        }
    }
    ADD_FAILURE() << "no row for generation " << generation;
    return {};
}

void expect_success(const Run& run)
{
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
}

TEST(StatsProgram, WritesOneTableFromEveryWayOfGivingTheFiles)
{
    Sandbox box;
    box.write("pedig", kPedigree);
    box.write("ped.csv", kPedigree);
    const auto by_default = run_stats(box, {});
    expect_success(by_default);
    const std::vector<std::string> lines = lines_of(by_default.out);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines[0], "# animals: 7");
    EXPECT_EQ(lines[1], "# founders: 3 (1 added for parents without a row)");
    EXPECT_TRUE(lines[2].starts_with("# generations: 3, from 0 to 2")) << lines[2];
    const auto header = std::ranges::find_if(lines, [](auto& l) { return !l.starts_with("# "); });
    ASSERT_NE(header, lines.end());
    EXPECT_TRUE(header->starts_with("generation\tanimals\tsires\tdams\tmean_F\t")) << *header;
    EXPECT_EQ(lines.end() - header, 4);  // the header and generations 0, 1 and 2
    EXPECT_EQ(row_of(by_default.out, "1").at("mean_F"), "0");
    EXPECT_EQ(
        row_of(by_default.out, "2").at("mean_F"),
        "0.125");  // (0 + 1/4) / 2: F is 1/4, the coancestry of full sibs, and E is not inbred
    EXPECT_EQ(row_of(by_default.out, "0").at("delta_F"), "");  // the first row has no change

    for (const auto& [args, launcher] :
         std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>>{
             {{"ped.csv"}, {}},
             {{"-"}, redirected("< ped.csv")},
             {{"-o", "table.tsv", "--animals", "animals.tsv"}, {}},
         }) {
        SCOPED_TRACE(args[0]);
        const auto run = run_stats(box, args, launcher);
        expect_success(run);
        EXPECT_EQ(run.out.empty() ? box.read("table.tsv").value_or("") : run.out, by_default.out);
    }
    const std::vector<std::string> animals = lines_of(box.read("animals.tsv").value_or(""));
    ASSERT_EQ(animals.size(), 8u);
    EXPECT_EQ(animals[0], "animal\tsire\tdam\tgeneration\tF\tECG\tdF_individual\tmean_kinship");
    // A founder's dF_individual is undefined; mean kinship with E and F (the
    // last generation): A is a grandparent of E once and of F twice,
    // (1/4 + 1/2) / 2 / 2; X the sire of E alone, (1/2 + 0) / 2 / 2.
    EXPECT_EQ(animals[1], "A\t0\t0\t0\t0\t0\t\t0.1875");
    EXPECT_EQ(animals[5], "X\t0\t0\t0\t0\t0\t\t0.125");  // the added parent stands before E
    EXPECT_TRUE(animals[6].starts_with("E\tC\tX\t2\t0\t")) << animals[6];
}

TEST(StatsProgram, FailuresLeaveEveryOutputAsItWas)
{
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> launcher;
        int status;
        std::string message;
    } cases[] = {
        {"unknown option", {"--bogus"}, {}, kUsage, "pedsim-stats: unknown option --bogus ("},
        {"second pedigree",
         {"pedig", "more"},
         {},
         kUsage,
         "pedsim-stats: a second pedigree file more after pedig ("},
        {"-o without a file", {"-o"}, {}, kUsage, "pedsim-stats: -o needs a file name after it ("},
        {"unknown time scale",
         {"--time", "weeks"},
         {},
         kUsage,
         "pedsim-stats: --time weeks: the scale is generation or year ("},
        {"reversed reference",
         {"--reference=2-1"},
         {},
         kUsage,
         "pedsim-stats: --reference 2-1: the range is FROM-TO (integers, FROM <= TO) or one value "
         "("},
        {"--reference without a range",
         {"--reference"},
         {},
         kUsage,
         "pedsim-stats: --reference needs a range FROM-TO after it ("},
        {"empty reference",
         {"-o", "out.tsv", "--reference", "5-9"},
         {},
         kUsage,
         "pedsim-stats: --reference 5-9: no animal of pedig has a generation or birth year in that "
         "range"},
        {"years without a time column",
         {"-o", "out.tsv", "--time", "year"},
         {},
         kUsage,
         "pedsim-stats: --time year: pedig has no fourth column of birth years"},
        {"missing pedigree",
         {"-o", "out.tsv", "none"},
         {},
         kFileError,
         "pedsim-stats: none: cannot open: No such file or directory"},
        {"refused pedigree",
         {"-o", "out.tsv", "bad"},
         {},
         kRefused,
         "pedsim-stats: bad: line 2: animal \"A\" is its own sire"},
        {"missing design",
         {"-o", "out.tsv", "--design", "none"},
         {},
         kFileError,
         "pedsim-stats: none: cannot open: No such file or directory"},
        {"refused design",
         {"-o", "out.tsv", "--design", "bad"},
         {},
         kRefused,
         "pedsim-stats: bad: item 1 (ngen) \"B\" is not an integer"},
        {"design of no pedigree",
         {"-o", "out.tsv", "--design", "too_large.parpop"},
         {},
         kRefused,
         "pedsim-stats: too_large.parpop: the protocol's 21 dams (nsirep*ndpsp) exceed half"},
        {"animals beyond reach",
         {"-o", "out.tsv", "--animals", "no/such/dir"},
         {},
         kFileError,
         "pedsim-stats: no/such/dir: cannot create a temporary file beside it: No such file"},
        {"full standard output",
         {"--animals", "animals.tsv"},
         redirected("> /dev/full"),
         kFileError,
         "pedsim-stats: standard output: cannot write: No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        box.write("pedig", kPedigree);
        box.write("bad", "B 0 0\nA A B\n");
        box.write("too_large.parpop", "3 2 3 4 7 3 3\n5\n");
        box.write("out.tsv", "an earlier table\n");
        box.write("animals.tsv", "earlier animals\n");
        const auto run = run_stats(box, c.args, c.launcher);
        EXPECT_FALSE(run.timed_out);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
        EXPECT_EQ(std::ranges::count(run.err, '\n'), 1) << run.err;
        EXPECT_EQ(box.read("out.tsv"), "an earlier table\n");
        EXPECT_EQ(box.read("animals.tsv"), "earlier animals\n");
        const auto files = std::distance(std::filesystem::directory_iterator(box.dir()), {});
        EXPECT_EQ(files, 5) << "a temporary file was left behind";
    }
}

TEST(StatsProgram, AddsTheDesignOfAPedsimRun)
{
    Sandbox box;
    box.write("parpop", "12 25 40 3 20 30 2\n271828\n");  // examples/flock.parpop
    expect_success(box.run());
    const auto run = run_stats(box, {"--design", "parpop"});
    expect_success(run);
    // Nm = 25, Nf = 1000, k = 3: c = [2(k-1) + k(d-1)] / [4(Nf k - 1)] = 121/11996;
    // Wright's Ne = 4 Nm Nf / (Nm + Nf) = 100000/1025.
    const std::string design = "# design: Nm = 25, Nf = 1000, 1/c = ";
    const std::size_t at = run.out.find(design);
    ASSERT_NE(at, std::string::npos) << run.out;
    const char* values = run.out.c_str() + at + design.size();
    EXPECT_NEAR(std::strtod(values, nullptr), 11996.0 / 121, 1e-9);
    const std::size_t ne = run.out.find("Wright's Ne = ", at);
    ASSERT_NE(ne, std::string::npos);
    EXPECT_NEAR(std::strtod(run.out.c_str() + ne + 14, nullptr), 100000.0 / 1025, 1e-9);
    EXPECT_NE(run.out.find("\n# method: "), std::string::npos);
    EXPECT_NE(run.out.find("\n# effective number of founders of the last generation: "),
              std::string::npos);
    // Founders and their offspring have F = 0; one generation later F = c/2.
    EXPECT_EQ(std::stod(row_of(run.out, "-10").at("expected_F")), 0);
    EXPECT_NEAR(std::stod(row_of(run.out, "-9").at("expected_F")), 121.0 / 11996 / 2, 1e-15);
    for (int generation = -11; generation <= 2; ++generation)
        EXPECT_NE(row_of(run.out, std::to_string(generation)).at("expected_F"), "") << generation;
}

// A herd book with birth years: the summary says how the time was read and
// gives the intervals and the reference measures; the cohorts' rows gain L.
TEST(StatsProgram, ReadsBirthYears)
{
    Sandbox box;
    box.write("herd", "S1 0 0 1990\nD1 0 0 1992\nS2 0 0 1991\nD2 0 0 1993\n"
                      "A S1 D1 1996\nB S2 D2 1997\nC S1 D2 1999\nE A B 2003\n");
    const auto run = run_stats(box, {"--reference", "1996-2003", "herd"});
    expect_success(run);
    for (const char* line :
         {"\n# cohorts: 8, born from 1990 to 2003 (the input's fourth column)\n",
          "\n# time: birth years (assumed: every value lies between 1000 and 3000)\n",
          "\n# reference population: 4 animals born 1996 to 2003\n",
          "\n# generation interval: 6 (8 pairs) years; sire pathway 7 (4 pairs), dam pathway 5 (4 "
          "pairs)\n",
          "\n# generation interval by pathway: sire-son 6 (1 pair), sire-daughter 6 (1 pair), "
          "dam-son 4 (1 pair), dam-daughter 4 (1 pair)\n",
          "\n# effective number of ancestors of the reference population: ",
          "\n# founder genome equivalents of the reference population: ",
          "\n# Ne from the regression of ln(1 - mean F) on birth year over the reference "
          "cohorts: "})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    EXPECT_EQ(row_of(run.out, "1999").at("L"), "7.5");
    EXPECT_EQ(row_of(run.out, "1990").at("L"), "");
    EXPECT_EQ(row_of(run.out, "2003").at("mean_max_generations"), "2");
    // Read as generations, the same file has no interval and no L column.
    const auto generations = run_stats(box, {"--time", "generation", "herd"});
    expect_success(generations);
    EXPECT_EQ(generations.out.find("generation interval"), std::string::npos);
    EXPECT_EQ(row_of(generations.out, "1999").count("L"), 0u);
}

TEST(StatsProgram, AnswersHelpAndVersion)
{
    Sandbox box;
    const auto help = run_stats(box, {"--help"});
    expect_success(help);
    EXPECT_TRUE(help.out.starts_with("Usage: pedsim-stats [options] [PEDIGREE]\n")) << help.out;
    for (const char* option : {"-o FILE", "--animals FILE", "--design PARPOP", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(run_stats(box, {"-h"}).out, help.out);
    const auto version = run_stats(box, {"--version"});
    expect_success(version);
    EXPECT_TRUE(version.out.starts_with("pedsim-stats ")) << version.out;
    EXPECT_EQ(lines_of(version.out).size(), 1u);
}

}  // namespace
