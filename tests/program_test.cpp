// End-to-end tests: the built program run as a user runs it, each run in a
// fresh directory with "parpop" written first and "pedig" read back.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/end_to_end.h"
#include "tests/pedigree_check.h"

namespace pedigree_check {
std::ostream& operator<<(std::ostream& out, const Line& l)
{
    return out << '(' << l.animal << ", " << l.sire << ", " << l.dam << ", " << l.generation << ')';
}
}  // namespace pedigree_check

namespace {

using end_to_end::Run;
using end_to_end::Sandbox;
namespace fs = std::filesystem;

const std::string kEarlierPedig = "an earlier pedigree, to be kept\n     1      0      0     -2\n";
const std::string kProtocolLine = " effectif historique trop faible pour le protocole\n";
const std::string kSeed12345 = "3 2 3 4 2 2 3\n12345\n";

// Exit statuses of the program's failures (common/exit_status.h).
constexpr int kBadParameterFile = 1, kRefused = 2, kOverflow = 3, kFileError = 4;

struct Outcome {
    Run run;
    std::optional<std::string> parpop, pedig;  // the files after the run; none when missing
};

// Runs the program with the given files; a file given as none is missing.
Outcome run_program(const std::optional<std::string>& parpop,
                    const std::optional<std::string>& earlier_pedig,
                    const std::vector<std::string>& args = {})
{
    Sandbox box;
    if (parpop) box.write("parpop", *parpop);
    if (earlier_pedig) box.write("pedig", *earlier_pedig);
    Run run = box.run(args);
    return {run, box.read("parpop"), box.read("pedig")};
}

void expect_silent_success(const Run& run)
{
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
}

// Runs a parameter file that must give a pedigree, silently and with exit
// status 0, over an earlier "pedig"; returns the new "pedig".
std::string pedigree_of(const std::string& parpop, const std::vector<std::string>& args = {})
{
    const Outcome o = run_program(parpop, kEarlierPedig, args);
    expect_silent_success(o.run);
    return o.pedig.value_or("(no pedig)");
}

// One line on stderr holding `message`, nothing on stdout, exit `status`.
void expect_failed(const Run& run, int status, const std::string& message)
{
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.ends_with('\n')) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << "stderr: " << run.err;
}

// Runs `parpop` (none: no "parpop") once over an earlier "pedig" and once
// without one, and hands each outcome to `check`. Either run ends before the
// output stage: the earlier "pedig" stays byte-identical, a missing one is
// created empty.
void check_runs_keeping_pedig(const std::optional<std::string>& parpop,
                              const std::function<void(const Outcome&)>& check)
{
    for (const bool had_pedig : {true, false}) {
        SCOPED_TRACE(had_pedig ? "over an earlier pedig" : "without pedig");
        const Outcome o =
            run_program(parpop, had_pedig ? std::optional(kEarlierPedig) : std::nullopt);
        EXPECT_EQ(o.pedig, had_pedig ? kEarlierPedig : "");
        check(o);
    }
}

void expect_failure(const std::string& parpop, int status, const std::string& message)
{
    check_runs_keeping_pedig(parpop,
                             [&](const Outcome& o) { expect_failed(o.run, status, message); });
}

using pedigree_check::design_of;
using pedigree_check::Line;
using pedigree_check::pedigree_fault;

// The lines of "pedig"; a line out of the fixed layout is a failure.
std::vector<Line> parse_pedigree(const std::string& text)
{
    std::string fault;
    std::vector<Line> lines = pedigree_check::read_lines(text, fault);
    EXPECT_EQ(fault, "");
    return lines;
}

// Published values.

TEST(ProgramPublishedValues, LayoutAndGenerationsOfTheFirstExample)
{
    const std::string pedig = pedigree_of(kSeed12345);
    ASSERT_EQ(pedig.substr(0, 28), "     1      0      0     -2\n");
    const std::vector<Line> lines = parse_pedigree(pedig);
    ASSERT_EQ(lines.size(), 42u);
    const struct {
        int first, last, generation;
    } blocks[] = {{1, 8, -2}, {9, 16, -1}, {17, 24, 0}, {25, 30, 1}, {31, 42, 2}};
    for (const auto& b : blocks)
        for (int n = b.first; n <= b.last; ++n) {
            const Line& l = lines[static_cast<std::size_t>(n) - 1];
            EXPECT_EQ(l.animal, n);
            EXPECT_EQ(l.generation, b.generation) << "line " << n;
            if (n <= 8) {
                EXPECT_EQ(l.sire, 0) << "founder on line " << n;
                EXPECT_EQ(l.dam, 0) << "founder on line " << n;
            }
        }
}

TEST(ProgramPublishedValues, Seed12345GivesThePublishedLines9To16AndSires)
{
    const std::vector<Line> lines = parse_pedigree(pedigree_of(kSeed12345));
    ASSERT_EQ(lines.size(), 42u);
    const std::vector<Line> published = {{9, 1, 3, -1},  {10, 1, 3, -1}, {11, 1, 3, -1},
                                         {12, 1, 5, -1}, {13, 1, 8, -1}, {14, 1, 8, -1},
                                         {15, 2, 6, -1}, {16, 2, 4, -1}};
    EXPECT_EQ(std::vector<Line>(lines.begin() + 8, lines.begin() + 16), published);
    std::set<int> sires;
    for (int n = 17; n <= 24; ++n) sires.insert(lines[static_cast<std::size_t>(n) - 1].sire);
    EXPECT_EQ(sires, (std::set<int>{10, 12}));
}

TEST(ProgramPublishedValues, Seed0GivesThePublishedParentsOfLines9To16)
{
    const std::vector<Line> lines = parse_pedigree(pedigree_of("3 2 3 4 2 2 3\n0\n"));
    ASSERT_EQ(lines.size(), 42u);
    const std::pair<int, int> published[] = {{1, 4}, {1, 4}, {1, 7}, {2, 5},
                                             {2, 5}, {2, 5}, {2, 8}, {2, 8}};
    for (int n = 9; n <= 16; ++n) {
        const Line& l = lines[static_cast<std::size_t>(n) - 1];
        EXPECT_EQ(std::pair(l.sire, l.dam), published[n - 9]) << "line " << n;
    }
}

TEST(ProgramPublishedValues, RepeatedPassesWithSeed99Give25Animals)
{
    const std::string pedig = pedigree_of("3 2 2 2 1 2 2\n99\n");
    EXPECT_EQ(parse_pedigree(pedig).size(), 25u);
    EXPECT_EQ(pedigree_fault(pedig, design_of("3 2 2 2 1 2 2")), "");
}

TEST(ProgramCommandLine, OtherArgumentsAreNamedAsIgnoredAndTheRunGoesAhead)
{
    const Outcome o = run_program(kSeed12345, kEarlierPedig, {"-v", "myparams"});
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(o.run.out, "");
    EXPECT_EQ(o.run.err,
              "pedsim: argument \"-v\" ignored: the parameters are always read from ./parpop\n"
              "pedsim: argument \"myparams\" ignored: the parameters are always read from "
              "./parpop\n");
    EXPECT_EQ(o.pedig, pedigree_of(kSeed12345));
}

TEST(ProgramCommandLine, HelpAndVersionAnswerAndTouchNoFile)
{
    const struct {
        std::vector<std::string> args;
        std::string answer;
    } cases[] = {{{"--help"}, "Usage: pedsim"},
                 {{"-h"}, "Usage: pedsim"},
                 {{"myparams", "--help"}, "Usage: pedsim"},
                 {{"--version"}, "pedsim 1."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const Outcome o = run_program(kSeed12345, kEarlierPedig, c.args);
        EXPECT_EQ(o.run.status, 0);
        EXPECT_EQ(o.run.out.rfind(c.answer, 0), 0u) << o.run.out;
        EXPECT_EQ(o.run.err, "");
        EXPECT_EQ(o.parpop, kSeed12345);
        EXPECT_EQ(o.pedig, kEarlierPedig);
        const Outcome nothing = run_program(std::nullopt, std::nullopt, c.args);
        EXPECT_FALSE(nothing.parpop || nothing.pedig) << "a file was created";
    }
}

TEST(ProgramNormalRun, SameSeedGivesTheSameFileAndSeedsShareStreamsAsPublished)
{
    const std::string seed0 = pedigree_of("3 2 3 4 2 2 3\n0\n");
    EXPECT_EQ(pedigree_of("3 2 3 4 2 2 3\n-1\n"), seed0);  // 0 or less: the built-in state
    EXPECT_EQ(pedigree_of("3 2 3 4 2 2 3\n-2147483648\n"), seed0);
    EXPECT_EQ(pedigree_of("3 2 3 4 2 2 3\n12346\n"), pedigree_of(kSeed12345));  // 2q and 2q-1 alike
    EXPECT_EQ(pedigree_fault(pedigree_of("3 2 3 4 2 2 3\n2147483647\n"), design_of(kSeed12345)),
              "");
    EXPECT_NE(seed0, pedigree_of(kSeed12345));
}

// Golden files: tests/golden/NAME.parpop and the NAME.pedig it gave.
TEST(ProgramGoldenFiles, EveryCaseGivesItsPedigreeByteForByte)
{
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(fs::path(PEDSIM_TEST_DATA) / "golden"))
        if (entry.path().extension() == ".parpop") cases.push_back(entry.path());
    std::sort(cases.begin(), cases.end());
    EXPECT_GE(cases.size(), 6u);
    for (const fs::path& parpop : cases) {
        SCOPED_TRACE(parpop.stem().string());
        const std::string parameters = end_to_end::read_file(parpop).value_or("");
        const std::optional<std::string> expected =
            end_to_end::read_file(fs::path(parpop).replace_extension(".pedig"));
        ASSERT_TRUE(expected.has_value());
        EXPECT_EQ(pedigree_fault(*expected, design_of(parameters)), "");
        EXPECT_TRUE(pedigree_of(parameters) == *expected)
            << "the pedigree differs from the golden file";
    }
}

// Layouts of "parpop" that all read as 3 2 3 4 2 2 3 with seed 12345.
TEST(ProgramParameterFile, LayoutsGiveTheSamePedigree)
{
    const struct {
        const char* name;
        std::string text;
    } layouts[] = {
        {"counts over two lines, seed on the third", "3 2 3\n4 2 2 3\n12345\n"},
        {"one item per line", "3\n2\n3\n4\n2\n2\n3\n12345\n"},
        {"extra items after the seventh count", "3 2 3 4 2 2 3 99 -7 junk\n12345\n"},
        {"blank lines before the seed", "3 2 3 4 2 2 3\n\n  \n\t\n12345\n"},
        {"commas and tabs", "3,2,3,\t4\t2 , 2,3\n12345\n"},
        {"CR-LF line ends", "3 2 3 4 2 2 3\r\n\r\n12345\r\n"},
        {"a repeat count", "3 2 3 4 2*2 3\n12345\n"},
        {"notes after the seed", "3 2 3 4 2 2 3\n12345 seed of the run\nnotes: 3.5, x / ,,\n"},
        {"leading blank lines, signs, no final line feed", "\n\n  +3 2 3 4 2 2 +3\n+12345"},
    };
    const std::string reference = pedigree_of(kSeed12345);
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.name);
        EXPECT_EQ(pedigree_of(layout.text), reference);
    }
}

TEST(ProgramParameterFile, UnreadableRecordsFailAndLeavePedigUnchanged)
{
    const struct {
        const char* name;
        std::string text, message;
    } cases[] = {
        {"empty file", "", "parpop: end of file before item 1 (ngen)"},
        {"end of file in the first record", "3 2 3 4 2\n",
         "parpop: end of file before item 6 (ndpsp)"},
        {"no seed", "3 2 3 4 2 2 3\n\n", "parpop: end of file before item 8 (iseed)"},
        {"all eight on one line", "3 2 3 4 2 2 3 12345\n",
         "parpop: end of file before item 8 (iseed)"},
        {"not an integer", "3 2 3 4 2 2 3.5\n1\n",
         "parpop: item 7 (noffp) \"3.5\" is not an integer"},
        {"a word as seed", "3 2 3 4 2 2 3\nseed\n",
         "parpop: item 8 (iseed) \"seed\" is not an integer"},
        {"above 32 bits", "3 2 3 4 2 2 3\n2147483648\n",
         "parpop: item 8 (iseed) \"2147483648\" is outside the 32-bit integer range"},
        {"below 32 bits", "-2147483649 2 3 4 2 2 3\n1\n",
         "parpop: item 1 (ngen) \"-2147483649\" is outside the 32-bit integer range"},
        {"empty item between commas", "3,2,,3 4 2 2 3\n1\n",
         "parpop: item 3 (ndps) is empty (two commas with nothing between)"},
        {"a slash", "3 2 3 4 / 2 3\n1\n", "parpop: item 5 (nsirep): a slash ends the record early"},
        {"a slash for the seed", "3 2 3 4 2 2 3\n/\n",
         "parpop: item 8 (iseed): a slash ends the record early"},
        {"a repeat count of zero", "3 2 3 4 0*2 3\n1\n",
         "parpop: item 5 (nsirep) \"0*2\" has no valid repeat count"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expect_failure(c.text, kBadParameterFile, c.message);
    }
}

TEST(ProgramParameterFile, MissingParpopIsCreatedEmptyAndTheRunFails)
{
    check_runs_keeping_pedig(std::nullopt, [](const Outcome& o) {
        expect_failed(o.run, kBadParameterFile,
                      "parpop: not found; created an empty one: write the seven counts and the "
                      "seed in it");
        EXPECT_EQ(o.parpop, "");
    });
}

// The protocol's dams against half the offspring of one generation (24 here).
TEST(ProgramProtocolCheck, ExactlyHalfTheOffspringPasses)
{
    EXPECT_EQ(pedigree_fault(pedigree_of("3 2 3 4 1 12 1\n7\n"), design_of("3 2 3 4 1 12 1")), "");
}

TEST(ProgramProtocolCheck, OneDamMoreWritesTheMessageAndLeavesPedigUnchanged)
{
    check_runs_keeping_pedig("3 2 3 4 1 13 1\n7\n", [](const Outcome& o) {
        EXPECT_FALSE(o.run.timed_out);
        EXPECT_EQ(o.run.status, 0);
        EXPECT_EQ(o.run.out, kProtocolLine);
        EXPECT_EQ(o.run.err, "");
    });
}

// Limits of the pedigree: each rule has a set just inside, which runs, and
// one just outside, which is refused. The one large run (20000 animals) sits
// on three limits at once.
TEST(ProgramLimits, JustInsideEachLimitRuns)
{
    const struct {
        const char* rule;
        std::string parpop;
    } cases[] = {
        {"ngen >= 1, with ndps = 0 and no protocol", "1 1 0 2 0 0 0\n1\n"},
        {"nsire >= 1", "1 1 1 2 0 0 0\n1\n"},
        {"noff = 1 with ngen = 1", "1 2 3 1 1 1 1\n1\n"},
        {"nsirep = 0", "3 2 3 4 0 2 3\n1\n"},
        {"ndpsp = 0", "3 2 3 4 2 0 3\n1\n"},
        {"noffp = 0", "3 2 3 4 2 2 0\n1\n"},
        {"nsire*(ndps+1) = 10000, nsire*ndps*noff = 10000, N = (ngen+1)*10000",
         "1 5000 1 2 1 1 9998\n1\n"},
        {"(ngen+2)*10000 + P = 1000000", "98 1 1 2 0 0 0\n1\n"},
        {"protocol parents that can be chosen (2 sons of 2)", "1 1 1 2 2 0 0\n1\n"},
        // Seed 5 succeeds at pass 54384, far sooner than on average: a short run.
        {"about 5e5 repeats on average (19 sons of 19)", "1 1 1 19 19 0 0\n5\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        EXPECT_EQ(pedigree_fault(pedigree_of(c.parpop), design_of(c.parpop)), "");
    }
}

TEST(ProgramLimits, JustOutsideEachLimitIsRefusedAndLeavesPedigUnchanged)
{
    const struct {
        std::string parpop, message;
    } cases[] = {
        {"0 2 3 4 2 2 3\n1\n", "parpop: ngen = 0 must be at least 1"},
        {"1 0 3 4 0 0 0\n1\n", "parpop: nsire = 0 must be at least 1"},
        {"3 -1 3 4 -1 6 0\n1\n", "parpop: nsire = -1 must be at least 1"},
        {"3 2 -1 4 -1 5 0\n1\n", "parpop: ndps = -1 must be at least 0"},
        {"3 2 3 0 0 0 0\n1\n", "parpop: noff = 0 must be at least 1"},
        {"3 2 3 4 -1 2 3\n1\n", "parpop: nsirep = -1 must be at least 0"},
        {"3 2 3 4 2 -1 3\n1\n", "parpop: ndpsp = -1 must be at least 0"},
        {"3 2 3 4 2 2 -1\n1\n", "parpop: noffp = -1 must be at least 0"},
        {"1 1 10000 1 0 0 0\n1\n", "parpop: nsire*(ndps+1) = 10001 founders exceed 10000"},
        {"1 1 73 137 0 0 0\n1\n",
         "parpop: nsire*ndps*noff = 10001 offspring per generation exceed 10000"},
        {"1 5000 1 2 1 1 9999\n1\n",
         "parpop: the pedigree's 20001 animals exceed (ngen+1)*10000 = 20000"},
        {"98 1 1 2 1 1 1\n1\n",
         "parpop: (ngen+2)*10000 + nsirep*ndpsp*noffp = 1000001 exceeds 1000000"},
        {"2 1 1 1 0 0 0\n1\n",
         "parpop: choosing 1 sires and 1 dams from the 1 offspring of a generation"},
        {"2 1 0 2 0 0 0\n1\n",
         "parpop: choosing 1 sires and 0 dams from the 0 offspring of a generation"},
        {"1 1 1 2 3 0 0\n1\n",
         "parpop: choosing 3 sires and 0 dams from the 2 offspring of a generation"},
        {"1 1 1 20 20 0 0\n1\n",
         "from the 20 offspring of a generation (nsire*ndps*noff) would take about"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parpop);
        expect_failure(c.parpop, kRefused, c.message);
    }
}

TEST(ProgramLimits, HugeValuesAreRefusedWithoutWrapAround)
{
    const struct {
        std::string parpop;
        int status;
        std::string message;
    } cases[] = {
        {"-2147483648 2 3 4 2 2 3\n1\n", kRefused, "parpop: ngen = -2147483648 must be at least 1"},
        {"3 2 3 4 -2147483648 2 3\n1\n", kRefused,
         "parpop: nsirep = -2147483648 must be at least 0"},
        {"1 1 1 2147483647 0 0 0\n1\n", kRefused, "nsire*ndps*noff = 2147483647 offspring"},
        {"1 1 4 1073741825 0 0 0\n1\n", kRefused,
         "nsire*ndps*noff = 4294967300 offspring"},  // 4 in 32 bits
        {"2147483647 2 3 4 2 2 3\n1\n", kOverflow, "Integer overflow"},
        {"3 2 3 4 2 2 2147483647\n1\n", kOverflow, "Integer overflow"},
        {"1 2147483647 1 1 0 0 0\n1\n", kOverflow, "Integer overflow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parpop);
        expect_failure(c.parpop, c.status, c.message);
    }
}

// Element counts of the generation table ((ngen+1)*10000) and of the key
// table (3N) beyond 2^31-1; one below each passes that check and is then
// refused by a pedigree limit.
TEST(ProgramLimits, TableSizesBeyond32BitsReportIntegerOverflow)
{
    const std::string overflow =
        "Integer overflow when calculating the amount of memory to allocate";
    expect_failure("214747 2 3 4 2 2 3\n1\n", kRefused, "parpop: (ngen+2)*10000");
    expect_failure("214748 2 3 4 2 2 3\n1\n", kOverflow, overflow);
    expect_failure("1 1 715827881 1 0 0 0\n1\n", kRefused,
                   "parpop: nsire*(ndps+1) = 715827882 founders");
    expect_failure("1 1 715827882 1 0 0 0\n1\n", kOverflow, overflow);
    expect_failure("1 2 3 4 1 1 1000000000\n1\n", kOverflow, overflow);
}

// A pedigree whose tables do not fit the memory the process may use: the
// run ends with the allocation message and leaves "pedig" as it was. The
// sanitizers reserve far more address space than the limit, so they skip it.
TEST(ProgramLimits, TablesBeyondTheMemoryLimitAreReported)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
#else
    if (!fs::exists("/usr/bin/prlimit")) GTEST_SKIP() << "no prlimit";
    Sandbox box;
    box.write("parpop", "97 3000 1 3 100 10 9\n12345\n");
    box.write("pedig", kEarlierPedig);
    // 24 MiB of address space: enough to start, not for the 36 MB of tables.
    const end_to_end::Run run =
        box.run({}, std::chrono::seconds(60), {"/usr/bin/prlimit", "--as=25165824", "--"});
    expect_failed(run, kOverflow, "Allocation would exceed memory limit");
    EXPECT_EQ(box.read("pedig"), kEarlierPedig);
#endif
}

// Files that cannot be read or written. The tests run as root, so they use
// directories and devices rather than permissions.
TEST(ProgramFiles, ParpopThatIsADirectoryFails)
{
    Sandbox box;
    fs::create_directory(box.path("parpop"));
    box.write("pedig", kEarlierPedig);
    expect_failed(box.run(), kFileError, "parpop: cannot read: Is a directory");
    EXPECT_EQ(box.read("pedig"), kEarlierPedig);
}

TEST(ProgramFiles, OversizedParpopAndAnUnwritableStandardOutputAreReported)
{
    check_runs_keeping_pedig(kSeed12345 + std::string(1 << 20, '\n'), [](const Outcome& o) {
        expect_failed(o.run, kFileError, "parpop: larger than 1 MiB");
    });
    Sandbox box;
    box.write("parpop", "3 2 3 4 1 13 1\n7\n");  // the protocol message
    box.write("pedig", kEarlierPedig);
    const end_to_end::Run run =
        box.run({}, std::chrono::seconds(60), {"/bin/sh", "-c", "exec \"$0\" >/dev/full"});
    EXPECT_EQ(run.status, kFileError);
    EXPECT_EQ(run.err, "standard output: cannot write\n");
    EXPECT_EQ(box.read("pedig"), kEarlierPedig);
}

TEST(ProgramFiles, PedigThatIsADirectoryFails)
{
    Sandbox box;
    box.write("parpop", kSeed12345);
    fs::create_directory(box.path("pedig"));
    expect_failed(box.run(), kFileError, "pedig: cannot");
    EXPECT_TRUE(fs::is_directory(box.path("pedig")));
}

// "pedig" that is "parpop" under another name: writing the pedigree would
// replace the parameters, so the run is refused and both stay as they were.
TEST(ProgramFiles, PedigThatIsParpopIsRefused)
{
    const struct {
        const char* what;
        void (*link)(const fs::path& to, const fs::path& name);
    } cases[] = {
        {"symbolic link",
         [](const fs::path& to, const fs::path& name) { fs::create_symlink(to, name); }},
        {"hard link",
         [](const fs::path& to, const fs::path& name) { fs::create_hard_link(to, name); }},
    };
    for (const auto& [what, link] : cases) {
        SCOPED_TRACE(what);
        Sandbox box;
        box.write("parpop", kSeed12345);
        link(box.path("parpop"), box.path("pedig"));
        expect_failed(box.run(), kFileError,
                      "pedig: is the same file as parpop; writing the pedigree would destroy the "
                      "parameters: remove the link");
        EXPECT_EQ(box.read("parpop"), kSeed12345);
        EXPECT_EQ(std::distance(fs::directory_iterator(box.dir()), {}), 2);
    }
}

TEST(ProgramFiles, FailedWriteToPedigIsReported)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    Sandbox box;
    box.write("parpop", kSeed12345);
    fs::create_symlink("/dev/full", box.path("pedig"));
    expect_failed(box.run(), kFileError, "pedig: cannot write");
}

TEST(ProgramFiles, LongerPedigIsTruncatedToTheNewLines)
{
    std::string longer;
    for (int i = 0; i < 1000; ++i) longer += "an older and longer pedigree line\n";
    const Outcome o = run_program(kSeed12345, longer);
    expect_silent_success(o.run);
    EXPECT_EQ(o.pedig, pedigree_of(kSeed12345));
}

// Properties that hold for every seed.
TEST(ProgramProperties, ParentsStandOnEarlierLinesOfThePreviousGeneration)
{
    const char* designs[] = {"3 2 3 4 2 2 3", "3 2 2 2 1 2 2", "4 3 2 3 2 1 2",
                             "1 2 3 4 2 2 3", "2 3 2 3 2 0 3", "5 4 3 2 3 2 2"};
    const char* seeds[] = {"1", "2", "99", "12345", "2147483647", "0"};
    for (const char* design : designs)
        for (const char* seed : seeds) {
            const std::string parpop = std::string(design) + "\n" + seed + "\n";
            SCOPED_TRACE(parpop);
            EXPECT_EQ(pedigree_fault(pedigree_of(parpop), design_of(design)), "");
        }
}

// Counts that would make the protocol check meaningless are refused before
// it, rather than reported as a protocol too large with status 0.
TEST(ProgramLimits, NegativeCountsAndWrappingProductsAreRefusedBeforeTheProtocolCheck)
{
    const struct {
        std::string parpop, message;
    } cases[] = {
        {"3 -2 3 4 2 2 3\n1\n", "parpop: nsire = -2 must be at least 1"},
        {"3 2 -3 4 2 2 3\n1\n", "parpop: ndps = -3 must be at least 0"},
        {"3 2 3 -4 2 2 3\n1\n", "parpop: noff = -4 must be at least 1"},
        {"1 65536 32768 1 1 1 1\n1\n",
         "parpop: nsire*ndps*noff = 2147483648 offspring per generation exceed 10000"},
        {"3 2 3 4 65536 32768 1\n1\n",
         "parpop: nsirep*ndpsp = 2147483648 protocol dams do not fit in 32 bits"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.parpop);
        expect_failure(c.parpop, kRefused, c.message);
    }
}

// Started with standard input, output and error closed, the program must not
// hand those numbers to "parpop" and "pedig".
TEST(ProgramFiles, ClosedStandardStreamsNeverBecomeTheFiles)
{
    const std::vector<std::string> closed = {"/bin/sh", "-c", "exec \"$0\" <&- >&- 2>&-"};
    const std::string expected = pedigree_of(kSeed12345);
    for (const std::string& parpop : {std::string("3 2 3 4 1 13 1\n7\n"), kSeed12345}) {
        Sandbox box;
        box.write("parpop", parpop);
        box.write("pedig", kEarlierPedig);
        const end_to_end::Run run = box.run({}, std::chrono::seconds(60), closed);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(box.read("parpop"), parpop);
        EXPECT_EQ(box.read("pedig"), parpop == kSeed12345 ? expected : kEarlierPedig);
    }
}

// The files in the run's directory, by name.
std::set<std::string> entries(const Sandbox& box)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(box.dir()))
        names.insert(entry.path().filename().string());
    return names;
}

const std::set<std::string> kOnlyTheRunsFiles = {"parpop", "pedig"};

// The new pedigree replaces "pedig" whole, or not at all.
TEST(ProgramAtomicPedigree, AFileSizeLimitFailsTheWriteAndKeepsPedig)
{
    if (!fs::exists("/usr/bin/prlimit")) GTEST_SKIP() << "no prlimit";
    Sandbox box;
    box.write("parpop",
              end_to_end::read_file(fs::path(PEDSIM_TEST_DATA) / ".." / "examples" / "flock.parpop")
                  .value());
    box.write("pedig", kEarlierPedig);
    // 100 kB of the flock's 395 kB of lines.
    const end_to_end::Run run =
        box.run({}, std::chrono::seconds(60), {"/usr/bin/prlimit", "--fsize=100000", "--"});
    expect_failed(run, kFileError, "pedig: cannot write: File too large");
    EXPECT_EQ(box.read("pedig"), kEarlierPedig);
    EXPECT_EQ(entries(box), kOnlyTheRunsFiles);
}

// SIGTERM while the largest example's lines are being written: the moment
// the temporary file appears is caught with inotify, and the signal sent.
TEST(ProgramAtomicPedigree, ATerminatedRunKeepsPedigAndLeavesNoTemporaryFile)
{
    Sandbox box;
    box.write("parpop", end_to_end::read_file(fs::path(PEDSIM_TEST_DATA) / ".." / "examples" /
                                              "largest.parpop")
                            .value());
    box.write("pedig", kEarlierPedig);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, box.dir().c_str(), IN_CREATE), 0);
    const pid_t pid = box.start();
    bool signalled = false;
    pollfd ready{watch, POLLIN, 0};
    while (!signalled && ::poll(&ready, 1, 60000) == 1) {
        alignas(inotify_event) char events[4096];
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (event->len > 0 && std::string(event->name).starts_with(".pedig.")) {
                ::kill(pid, SIGTERM);
                signalled = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    const end_to_end::Run run = box.wait(pid);
    ASSERT_TRUE(signalled) << "no temporary file appeared; stderr: " << run.err;
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_EQ(box.read("pedig"), kEarlierPedig);
    EXPECT_EQ(entries(box), kOnlyTheRunsFiles);
}

TEST(ProgramAtomicPedigree, ReplacesTheTargetOfALinkKeepingItsPermissions)
{
    Sandbox box;
    box.write("parpop", kSeed12345);
    fs::create_directory(box.path("kept"));
    box.write("kept/real.pedig", kEarlierPedig);
    fs::permissions(box.path("kept/real.pedig"), fs::perms(0640));
    fs::create_symlink("kept/real.pedig", box.path("pedig"));
    expect_silent_success(box.run());
    EXPECT_TRUE(fs::is_symlink(box.path("pedig")));
    EXPECT_EQ(box.read("kept/real.pedig"), pedigree_of(kSeed12345));
    EXPECT_EQ(fs::status(box.path("kept/real.pedig")).permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(box.path("kept")), {}), 1);
}

TEST(ProgramAtomicPedigree, TwoRunsAtOnceEachLeaveACompletePedigree)
{
    const std::string first = "12 25 40 3 20 30 2\n1\n", second = "12 25 40 3 20 30 2\n3\n";
    const std::set<std::string> complete = {pedigree_of(first), pedigree_of(second)};
    Sandbox box;
    fs::create_directory(box.path("second"));
    box.write("parpop", first);
    box.write("second/parpop", second);
    // The second run works in a directory of its own whose "pedig" is the first's.
    fs::create_symlink("../pedig", box.path("second/pedig"));
    const pid_t one = box.start();
    const pid_t two = box.start({}, {"/bin/sh", "-c", "cd second && exec \"$0\""});
    expect_silent_success(box.wait(one));
    expect_silent_success(box.wait(two));
    EXPECT_TRUE(complete.contains(box.read("pedig").value_or(""))) << "a mixed pedigree";
}

}  // namespace
