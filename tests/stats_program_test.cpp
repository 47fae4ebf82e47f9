// End-to-end tests of pedsim-stats: the built program run as a user runs it,
// each run in a fresh directory, on pedigrees written there or by pedsim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "stats/replicate_study.h"
#include "tests/end_to_end.h"

namespace {

using end_to_end::redirected;
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

// A herd book of 10 founder sires, 200 founder dams, 3,000 daughters and
// 3,000 granddaughters by the same sires: over 5,000 offspring, sires with
// many mates and overlapping generations.
std::string small_herd_book()
{
    std::string lines = "animal sire dam\n";
    for (int k = 0; k < 10; ++k) lines += "s" + std::to_string(k) + " 0 0\n";
    for (int k = 0; k < 200; ++k) lines += "f" + std::to_string(k) + " 0 0\n";
    for (int i = 0; i < 3000; ++i)
        lines += "o" + std::to_string(i) + " s" + std::to_string(i % 10) + " f" +
                 std::to_string(i * 7 % 200) + "\n";
    for (int i = 0; i < 3000; ++i)
        lines += "p" + std::to_string(i) + " s" + std::to_string(i % 10) + " o" +
                 std::to_string(i * 13 % 3000) + "\n";
    return lines;
}

// The stage a line "pedsim-stats: time of STAGE: W.WWW s, CPU C.CCC s" names,
// or nothing when the line has another form.
std::optional<std::string> timed_stage(const std::string& text)
{
    const std::string prefix = "pedsim-stats: time of ";
    const std::size_t colon = text.find(": ", prefix.size());
    if (!text.starts_with(prefix) || colon == std::string::npos) return std::nullopt;
    const std::string stage = text.substr(prefix.size(), colon - prefix.size());
    const bool words = !stage.empty() && std::ranges::all_of(stage, [](char letter) {
        return std::string_view(" ,()").find(letter) != std::string_view::npos ||
               (letter >= 'a' && letter <= 'z');
    });
    const auto seconds = [](std::string_view field) {
        const std::size_t point = field.find('.');
        return point != std::string_view::npos && point > 0 && field.size() == point + 4 &&
               std::ranges::all_of(field.substr(0, point), ::isdigit) &&
               std::ranges::all_of(field.substr(point + 1), ::isdigit);
    };
    std::istringstream rest(text.substr(colon + 2));
    std::string wall, s1, cpu, cpu_seconds, s2, extra;
    rest >> wall >> s1 >> cpu >> cpu_seconds >> s2;
    const bool form = seconds(wall) && s1 == "s," && cpu == "CPU" && seconds(cpu_seconds) &&
                      s2 == "s" && !(rest >> extra);
    if (!words || !form) return std::nullopt;
    return stage;
}

// PEDSIM_STAGE_TIMES adds one line per stage on standard error, from reading
// to writing, the inbreeding named by its method, and one for the work done
// beside the inbreeding, and changes nothing else.
TEST(StatsProgram, StageTimesGoToStandardErrorAlone)
{
    struct Case {
        const char* what;
        std::string pedigree;
        const char* inbreeding_stage;
    };
    const Case cases[] = {
        {"discrete generations", kPedigree, "coancestry carried forward by generation"},
        {"parent mated with offspring", "a 0 0\nb 0 0\nc a b\nd a c\ne d c\n",
         "inbreeding by ancestor paths"},
        {"herd book", small_herd_book(), "inbreeding by sires"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        box.write("pedig", c.pedigree);
        const auto plain = run_stats(box, {});
        expect_success(plain);
        const auto timed = run_stats(box, {}, {"/usr/bin/env", "PEDSIM_STAGE_TIMES=1"});
        EXPECT_EQ(timed.status, 0);
        EXPECT_EQ(timed.out, plain.out);
        std::vector<std::string> stages;
        for (const std::string& text : lines_of(timed.err)) {
            const std::optional<std::string> stage = timed_stage(text);
            ASSERT_TRUE(stage) << text;
            stages.push_back(*stage);
        }
        ASSERT_GE(stages.size(), 4u);
        EXPECT_EQ(stages.front(), "reading");
        EXPECT_EQ(stages.back(), "writing");
        EXPECT_NE(std::ranges::find(stages, c.inbreeding_stage), stages.end()) << timed.err;
        for (const char* beside : {"founders, completeness and fa (beside the inbreeding)",
                                   "mean kinship (beside the generation table)"})
            EXPECT_EQ(std::ranges::count(stages, beside), 1) << timed.err;
    }
}

TEST(StatsProgram, FailuresLeaveEveryOutputAsItWas)
{
    const end_to_end::RefusedCommand cases[] = {
        {"unknown option", {"--bogus"}, {}, kUsage, "pedsim-stats: unknown option --bogus ("},
        {"animals of replicates",
         {"pedig", "more", "--animals", "animals.tsv"},
         {},
         kUsage,
         "pedsim-stats: --animals takes one pedigree; --each DIR keeps the table of every "
         "replicate ("},
        {"-o without a file", {"-o"}, {}, kUsage, "pedsim-stats: -o needs a file name after it ("},
        {"--columns without a value",
         {"--columns"},
         {},
         kUsage,
         "pedsim-stats: --columns needs a value after it ("},
        {"--columns without a dam",
         {"--columns", "id=a,sire=b"},
         {},
         kUsage,
         "pedsim-stats: --columns id=a,sire=b: no dam column; give id, sire and dam ("},
        {"--columns with an unknown key",
         {"--columns", "id=1,father=2,dam=3"},
         {},
         kUsage,
         "pedsim-stats: --columns id=1,father=2,dam=3: unknown key \"father\"; the keys are id, "
         "sire, dam, time and sex ("},
        {"--columns counting from 0",
         {"--columns", "0,1,2"},
         {},
         kUsage,
         "pedsim-stats: --columns 0,1,2: \"0\" is no column number"},
        {"--columns naming one column twice",
         {"--columns", "1,2,2"},
         {},
         kUsage,
         "pedsim-stats: --columns 1,2,2: sire and dam name the same column ("},
        {"--columns beyond the row",
         {"-o", "out.tsv", "--columns", "1,2,3,9"},
         {},
         kUsage,
         "pedsim-stats: --columns 1,2,3,9: column 9 is beyond the 3 fields of line 2"},
        {"--columns naming a column the header lacks",
         {"-o", "out.tsv", "--columns", "id=ID,sire=SIRE,dam=MUM"},
         {},
         kUsage,
         "pedsim-stats: --columns id=ID,sire=SIRE,dam=MUM: the header has no column \"MUM\" ("},
        {"--columns by name without a header",
         {"-o", "out.tsv", "--no-header", "--columns", "id=ID,sire=SIRE,dam=DAM"},
         {},
         kUsage,
         "pedsim-stats: --columns names columns by their header names but --no-header says the "
         "file has no header"},
        {"--header and --no-header",
         {"--header", "--no-header"},
         {},
         kUsage,
         "pedsim-stats: --header and --no-header contradict each other ("},
        {"unknown time scale",
         {"--time", "weeks"},
         {},
         kUsage,
         "pedsim-stats: --time weeks: the scale is generation, year or date ("},
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
        {"an endless input without a line end",
         {"-o", "out.tsv", "/dev/zero"},
         {},
         kRefused,
         "pedsim-stats: /dev/zero: no line end in the first 64 MiB; this is not a pedigree text"},
        {"UTF-16",
         {"-o", "out.tsv", "utf16"},
         {},
         kRefused,
         "pedsim-stats: utf16: encoded as UTF-16; save it as UTF-8"},
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
        box.write("utf16", std::string("\xFF\xFE"
                                       "A\0",
                                       4));
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
        EXPECT_EQ(files, 6) << "a temporary file was left behind";
    }
}

// Command lines that once destroyed the user's data with exit status 0: an
// output naming an input, two spellings of one output, a closed standard
// output. Each is refused before anything is read, every file left intact.
TEST(StatsProgram, RefusesOutputsThatWouldDestroyAFile)
{
    const end_to_end::RefusedCommand cases[] = {
        {"-o naming the default pedigree",
         {"-o", "pedig"},
         {},
         kUsage,
         "pedsim-stats: the pedigree pedig and -o pedig are one file; writing there would "
         "destroy the input: choose another output file\n"},
        {"--animals naming the pedigree by another path",
         {"--animals", "../work/pedig", "pedig"},
         {},
         kUsage,
         "pedsim-stats: the pedigree pedig and --animals ../work/pedig are one file;"},
        {"--animals naming the design",
         {"--design", "parpop", "--animals", "parpop"},
         {},
         kUsage,
         "pedsim-stats: --design parpop and --animals parpop are one file;"},
        {"one new file, two spellings",
         {"-o", "x.tsv", "--animals", "./x.tsv"},
         {},
         kUsage,
         "pedsim-stats: -o x.tsv and --animals ./x.tsv are one file; give each table its own "
         "file\n"},
        {"one existing file, two spellings",
         {"-o", "out.tsv", "--animals", "../work/out.tsv"},
         {},
         kUsage,
         "pedsim-stats: -o out.tsv and --animals ../work/out.tsv are one file;"},
        {"both tables on standard output",
         {"-o", "-", "--animals", "-"},
         {},
         kUsage,
         "pedsim-stats: -o - and --animals - both name standard output; send one of the tables "
         "to a file ("},
        {"animals on standard output beside the table",
         {"--animals", "-"},
         {},
         kUsage,
         "pedsim-stats: --animals - and the table both go to standard output; give -o FILE for "
         "the table ("},
        {"closed standard output",
         {},
         redirected(">&-"),
         kFileError,
         "pedsim-stats: standard output: it is closed; give -o FILE to write the table to a "
         "file\n"},
        {"animals to a closed standard output",
         {"-o", "out.tsv", "--animals", "-"},
         redirected(">&-"),
         kFileError,
         "pedsim-stats: standard output: it is closed; give --animals FILE"},
        {"the table to a closed standard output named /dev/stdout",
         {"-o", "/dev/stdout"},
         redirected(">&-"),
         kFileError,
         "pedsim-stats: standard output: it is closed; give -o FILE to write the table to a "
         "file\n"},
        {"the animals on standard output named /dev/stdout beside the table",
         {"--animals", "/dev/stdout"},
         {},
         kUsage,
         "pedsim-stats: --animals /dev/stdout and the table both go to standard output; give -o "
         "FILE for the table ("},
        {"-o naming the file standard output appends to, the animals going there",
         {"-o", "out.tsv", "--animals", "-"},
         {"/bin/sh", "-c", "exec \"$0\" \"$@\" >>out.tsv"},
         kUsage,
         "pedsim-stats: -o out.tsv and --animals - are one file; give each table its own file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        box.write("pedig", kPedigree);
        box.write("parpop", "3 2 3 4 2 2 3\n5\n");
        box.write("out.tsv", "an earlier table\n");
        const auto run = run_stats(box, c.args, c.launcher);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
        EXPECT_EQ(std::ranges::count(run.err, '\n'), 1) << run.err;
        EXPECT_EQ(box.read("pedig"), kPedigree);
        EXPECT_EQ(box.read("parpop"), "3 2 3 4 2 2 3\n5\n");
        EXPECT_EQ(box.read("out.tsv"), "an earlier table\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.dir()), {}), 3);
    }
}

// Outputs that are no regular file of their own: standard output as "-",
// the null device twice, /dev/stdout behind a shell's redirection (written
// in place, so that ">>" appends), and a name as long as a name can be.
TEST(StatsProgram, WritesToDevicesStandardOutputAndLongNames)
{
    Sandbox box;
    box.write("pedig", kPedigree);
    const auto reference = run_stats(box, {"-o", "table.tsv", "--animals", "animals.tsv"});
    expect_success(reference);
    const std::string table = box.read("table.tsv").value(),
                      animals = box.read("animals.tsv").value();
    const std::string long_name(250, 'n');
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> launcher;
        std::string out;             // standard output
        std::string file, contents;  // a file the run writes, and what it must hold
    } cases[] = {
        {"animals on standard output",
         {"-o", "t.tsv", "--animals", "-"},
         {},
         animals,
         "t.tsv",
         table},
        {"table on standard output",
         {"-o", "-", "--animals", "a.tsv"},
         {},
         table,
         "a.tsv",
         animals},
        {"the null device twice",
         {"-o", "/dev/null", "--animals", "/dev/null"},
         {},
         "",
         "pedig",
         kPedigree},
        {"/dev/stdout appended to by the shell",
         {"-o", "t.tsv", "--animals", "/dev/stdout"},
         {"/bin/sh", "-c", "echo kept > log; exec \"$0\" \"$@\" >> log"},
         "",
         "log",
         "kept\n" + animals},
        {"a 250-byte name", {"-o", long_name}, {}, "", long_name, table},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = run_stats(box, c.args, c.launcher);
        expect_success(run);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(box.read(c.file), c.contents);
    }
}

// The table without what says how a variant was read: its "# input:" line
// and where the generations come from.
std::string without_input_lines(const std::string& table)
{
    std::string kept;
    for (const std::string& line : lines_of(table)) {
        if (line.starts_with("# input: ")) continue;
        const bool groups = line.starts_with("# generations: ") || line.starts_with("# cohorts: ");
        kept += groups ? line.substr(0, line.find(" (")) : line;
        kept += '\n';
    }
    return kept;
}

// One inbred pedigree (E and F full sibs, G their offspring: F = 1/4, 3/8)
// exported as R, pandas, spreadsheets and herd books write it: every variant
// gives the plain file's table and animals.
TEST(StatsProgram, ReadsEveryExportOfOnePedigreeAlike)
{
    const std::string plain = "A 0 0 1990\nB 0 0 1990\nC A B 1991\nD A B 1991\nE C D 1992\n"
                              "F C D 1992\nG E F 1993\n";
    const std::string csv = "id,sire,dam,year\nA,,,1990\nB,,,1990\nC,A,B,1991\nD,A,B,1991\n"
                            "E,C,D,1992\nF,C,D,1992\nG,E,F,1993\n";
    const auto replaced = [](std::string text, char from, const std::string& to) {
        std::string out;
        for (const char c : text) out += c == from ? to : std::string(1, c);
        return out;
    };
    const std::vector<std::string> compress = {"/bin/sh", "-c",
                                               "gzip -c plain > ped && exec \"$0\" \"$@\""};
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> args;
        std::vector<std::string> launcher;
    } cases[] = {
        {"comma", csv, {}, {}},
        {"semicolon", replaced(csv, ',', ";"), {}, {}},
        {"tab with empty fields", replaced(csv, ',', "\t"), {}, {}},
        {"quoted",
         "\"id\",\"sire\",\"dam\",\"year\"\n\"A\",NA,NA,1990\n\"B\",NA,NA,1990\n"
         "\"C\",\"A\",\"B\",1991\n\"D\",\"A\",\"B\",1991\n\"E\",\"C\",\"D\",1992\n"
         "\"F\",\"C\",\"D\",1992\n\"G\",\"E\",\"F\",1993\n",
         {},
         {}},
        {"R write.csv row names",
         "\"\",\"id\",\"sire\",\"dam\",\"year\"\n\"1\",\"A\",NA,NA,1990\n"
         "\"2\",\"B\",NA,NA,1990\n\"3\",\"C\",\"A\",\"B\",1991\n"
         "\"4\",\"D\",\"A\",\"B\",1991\n\"5\",\"E\",\"C\",\"D\",1992\n"
         "\"6\",\"F\",\"C\",\"D\",1992\n\"7\",\"G\",\"E\",\"F\",1993\n",
         {},
         {}},
        {"R write.table row names",
         "\"id\" \"sire\" \"dam\" \"year\"\n\"1\" \"A\" NA NA 1990\n"
         "\"2\" \"B\" NA NA 1990\n\"3\" \"C\" \"A\" \"B\" 1991\n"
         "\"4\" \"D\" \"A\" \"B\" 1991\n\"5\" \"E\" \"C\" \"D\" 1992\n"
         "\"6\" \"F\" \"C\" \"D\" 1992\n\"7\" \"G\" \"E\" \"F\" 1993\n",
         {},
         {}},
        {"Excel trailing rows, CR LF, BOM",
         "\xEF\xBB\xBF" + replaced(csv, '\n', "\r\n") + ",,,\r\n,,,\r\n",
         {},
         {}},
        {"another column order",
         "year;dam;id;sire\n1990;;A;\n1990;;B;\n1991;B;C;A\n1991;B;D;A\n"
         "1992;D;E;C\n1992;D;F;C\n1993;F;G;E\n",
         {},
         {}},
        {"sex and herd columns",
         "id,sex,herd,sire,dam,born\nA,M,h1,,,1990\nB,F,h1,,,1990\n"
         "C,m,h2,A,B,1991\nD,f,h2,A,B,1991\nE,1,h3,C,D,1992\nF,2,h3,C,D,1992\n"
         "G,,h3,E,F,1993\n",
         {},
         {}},
        {"--columns by name",
         "Tier,V,M,Jahr\nA,,,1990\nB,,,1990\nC,A,B,1991\nD,A,B,1991\n"
         "E,C,D,1992\nF,C,D,1992\nG,E,F,1993\n",
         {"--columns", "id=Tier,sire=V,dam=M,time=Jahr"},
         {}},
        {"--columns by number",
         "h A 0 0 x 1990\nh B 0 0 x 1990\nh C A B x 1991\nh D A B x 1991\n"
         "h E C D x 1992\nh F C D x 1992\nh G E F x 1993\n",
         {"--columns", "2,3,4,6"},
         {}},
        {"missing birth years",
         "id\tsire\tdam\tyear\nA\t\t\t1990\nB\t\t\t1990\nC\tA\tB\t\n"
         "D\tA\tB\t1991\nE\tC\tD\t1992\nF\tC\tD\t1992\nG\tE\tF\t\n",
         {},
         {}},
        {"gzip", "", {}, compress},
        {"zstd", "", {}, {"/bin/sh", "-c", "zstd -q -c plain > ped && exec \"$0\" \"$@\""}},
    };
    Sandbox box;
    box.write("plain", plain);
    const auto reference = run_stats(box, {"-o", "table.tsv", "--animals", "animals.tsv", "plain"});
    expect_success(reference);
    const std::string table = box.read("table.tsv").value(),
                      animals = box.read("animals.tsv").value();
    EXPECT_NE(animals.find("\nG\tE\tF\t1993\t0.375\t"), std::string::npos) << animals;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.text.empty()) box.write("ped", c.text);
        std::vector<std::string> args = {"-o", "t.tsv", "--animals", "a.tsv"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("ped");
        const auto run = run_stats(box, args, c.launcher);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string read = without_input_lines(box.read("t.tsv").value_or(""));
        // The years filled in for C and G place them, but give no age: the
        // six pairs they stand in leave the intervals.
        if (c.what == std::string_view("missing birth years"))
            EXPECT_NE(read.find("\n# generation interval pairs left out: 6 ("), std::string::npos)
                << read;
        else
            EXPECT_EQ(read, without_input_lines(table));
        EXPECT_EQ(box.read("a.tsv"), animals);
    }
}

// How a file was read is in the summary when it is not the plain layout.
TEST(StatsProgram, SaysHowItReadTheFile)
{
    const struct {
        std::string text;
        std::vector<std::string> args;
        std::string input, generations;  // the "# input:" line (or none), "# generations:"
    } cases[] = {
        {"A 0 0\nB A 0\n",
         {},
         "",
         "# generations: 2, from 0 to 1 (0 for founders, else 1 + the latest parent's)"},
        {"a;s;d\nA;;\nB;A;\n",
         {"--header"},
         "# input: semicolon-separated",
         "# generations: 2, from 0 to 1 (0 for"},
        {"id,sire,dam,herd,year\nA,,,h,3\nB,A,,h,\n",
         {},
         "# input: comma-separated; ignored columns: herd",
         "# generations: 2, from 3 to 4 (the input's column year; 1 missing, taken from the "
         "parents)"},
        {"\"\",\"id\",\"sire\",\"dam\"\n\"1\",A,0,0\n",
         {},
         "# input: comma-separated; row names in column 1 skipped",
         "# generations: 1,"},
        {"A 0 0 +1\n", {}, "", "# generations: 1, from 1 to 1 (the input's fourth column)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Sandbox box;
        box.write("ped", c.text);
        std::vector<std::string> args = c.args;
        args.push_back("ped");
        const auto run = run_stats(box, args);
        expect_success(run);
        const std::vector<std::string> lines = lines_of(run.out);
        const auto input =
            std::ranges::find_if(lines, [](auto& l) { return l.starts_with("# input: "); });
        EXPECT_EQ(input == lines.end() ? "" : *input, c.input);
        const auto generations =
            std::ranges::find_if(lines, [](auto& l) { return l.starts_with("# generations: "); });
        ASSERT_NE(generations, lines.end());
        EXPECT_TRUE(generations->starts_with(c.generations)) << *generations;
    }
}

TEST(StatsProgram, RefusesCompressionItCannotRead)
{
    Sandbox box;
    box.write("plain", "A 0 0\n");
    for (const auto& [tool, message] : std::vector<std::pair<std::string, std::string>>{
             {"bzip2", "pedsim-stats: ped: compressed with bzip2: decompress it first"},
             {"xz", "pedsim-stats: ped: compressed with xz: decompress it first"},
             {"head -c 20 plain.gz >", "pedsim-stats: ped: damaged gzip data: "}}) {
        SCOPED_TRACE(tool);
        const std::string make =
            tool.ends_with('>') ? "gzip -k plain; " + tool + " ped" : tool + " -c plain > ped";
        const auto run =
            run_stats(box, {"ped"}, {"/bin/sh", "-c", make + " && exec \"$0\" \"$@\""});
        EXPECT_EQ(run.status, kRefused);
        EXPECT_TRUE(run.err.starts_with(message)) << run.err;
        std::filesystem::remove(box.path("plain.gz"));
    }
}

// Compressed texts that no pedigree is, as a hostile user makes them: each
// refused with its one line, the decoder's state freed on the way out (the
// sanitizers' build finds a leak), and a gigantic text of one repeated row
// refused on its second row, within a memory limit that holding every row
// before the check would exceed (the sanitizers reserve more address space
// than such a limit allows, so their build runs those cases unlimited).
TEST(StatsProgram, RefusesHostileCompressedTextsWithinTheirMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr bool limits_apply = false;
#else
    constexpr bool limits_apply = true;
#endif
    const std::string one_row_repeated = "yes '1 0 0' | head -c 200000000 | ";
    const std::string no_line_end = "head -c 70000000 /dev/zero | tr '\\0' a | ";
    const struct {
        std::string make;   // a shell pipeline writing "ped"
        const char* limit;  // ulimit -v, in KiB
        std::string message;
    } cases[] = {
        {one_row_repeated + "gzip -1 > ped", "700000",
         "pedsim-stats: ped: line 2: animal \"1\" is listed twice (lines 1 and 2)\n"},
        {one_row_repeated + "zstd -q -1 > ped", "700000",
         "pedsim-stats: ped: line 2: animal \"1\" is listed twice (lines 1 and 2)\n"},
        {no_line_end + "gzip -1 > ped", "unlimited",
         "pedsim-stats: ped: no line end in the first 64 MiB; this is not a pedigree text\n"},
        {no_line_end + "zstd -q -1 > ped", "unlimited",
         "pedsim-stats: ped: no line end in the first 64 MiB; this is not a pedigree text\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.make);
        Sandbox box;
        const std::string limit = limits_apply ? c.limit : "unlimited";
        const auto run = run_stats(
            box, {"ped"},
            {"/bin/sh", "-c", c.make + " && ulimit -v " + limit + " && exec \"$0\" \"$@\""});
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, kRefused);
        EXPECT_EQ(run.err, c.message);
    }
}

// The options of the R packages' conventions, as a user gives them: each
// changes what its summary line or animal row says, and only that.
TEST(StatsProgram, TakesTheConventionsOfThePedigreePackages)
{
    Sandbox box;
    box.write("ped", "A 0 0\nB 0 0\nC A 0\nD A B\nS 0 0\nT S S\n");
    box.write("unk", "a unknown B\nb unknown C\nx a b\n");
    box.write("roles", "C A B\nD B E\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string line, err;  // a line of the output, the start of standard error
    } cases[] = {
        {{"--animals", "-", "-o", "/dev/null", "--selfing", "ped"}, 0, "T\tS\tS\t1\t0.5\t1\t", ""},
        {{"--selfing", "ped"},
         0,
         "# founders: 3 (0 added for parents without a row, 1 missing parents of animals with one "
         "known parent)",
         ""},
        // The last generation {C, D, T} gives A 1/3, B 1/6, S 1/3 and C's missing
        // dam 1/6: fe = 1 / (10/36) = 3.6, or with known founders only
        // (5/6)^2 / (9/36) = 25/9.
        {{"--selfing", "ped"},
         0,
         "# effective number of founders of the last generation: 3.5999999999999996\n",
         ""},
        {{"--selfing", "--fe-known-only", "ped"},
         0,
         "# effective number of founders of the last generation: 2.7777777777777772 (known "
         "founders only, rescaled)\n",
         ""},
        // The reference population (here the last generation too) says so as well.
        {{"--selfing", "--fe-known-only", "ped"},
         0,
         "# effective number of founders of the reference population: 2.7777777777777772 (known "
         "founders only, rescaled)\n",
         ""},
        {{"ped"},
         kRefused,
         "",
         "pedsim-stats: ped: line 6: \"S\" is used as a dam here and as a sire on line 6 (give "
         "--selfing"},
        {{"roles"},
         kRefused,
         "",
         "pedsim-stats: roles: line 2: \"B\" is used as a sire here and as a dam on line 1 (give "
         "--selfing for a pedigree where an individual may be a sire and a dam)\n"},
        {{"--animals", "-", "-o", "/dev/null", "unk"},
         0,
         "x\ta\tb\t2\t0.125\t",
         "pedsim-stats: unk: line 1: parent \"unknown\" has no row and 2 offspring, related "
         "through it; if it marks an unknown parent, give --unknown unknown\n"},
        {{"--animals", "-", "-o", "/dev/null", "--unknown", "Unknown,unk", "unk"},
         0,
         "x\ta\tb\t2\t0\t",
         ""},
    };
    for (const auto& c : cases) {
        std::string command;
        for (const std::string& arg : c.args) command += arg + ' ';
        SCOPED_TRACE(command);
        const auto run = run_stats(box, c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.starts_with(c.err)) << run.err;
        EXPECT_EQ(run.err.empty(), c.err.empty()) << run.err;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
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

// What a herd book with missing years leaves out, and the words that tell
// its two populations and its estimates apart: each case a command and a
// line of its summary.
TEST(StatsProgram, SaysWhatAHerdBookLeavesOutAndWhatEachFigureIsOf)
{
    Sandbox box;
    // D0 and H have no year to take, X, Z and X0 no row; B takes 1993.
    box.write("herd", "S1 0 0 1990\nD1 0 0 1992\nD0 0 0 NA\nA S1 D0 1996\nB S1 D1 NA\n"
                      "C A B 2001\nE A X 2002\nG Z 0 1990\nH X0 D0 NA\n");
    box.write("ped", "A 0 0\nB 0 0\nC A B\nD A B\nE C D\n");
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {{"herd"},
         "\n# cohorts: 6, born from 1990 to 2002 (the input's fourth column; 3 missing, "},
        {{"herd"},
         "\n# outside every cohort: 5 animals with no birth year of their own nor a parent's to "
         "take (founders without one, parents without a row)\n"},
        {{"herd"},
         "\n# generation interval pairs left out: 8 (the parent's or the offspring's birth year "
         "filled in, not recorded)\n"},
        {{"herd"}, "\n# generation interval: 5.666666666666667 (3 pairs) years; "},
        {{"herd"}, " (the 1 animal born 2002, the last cohort)\n"},
        {{"herd"}, " (the 2 animals born 1997 to 2002, the reference population)\n"},
        {{"herd", "--fe-known-only"},
         " (the 2 animals born 1997 to 2002, the reference population; known founders only, "
         "rescaled)\n"},
        {{"herd"},
         " cohorts, a generation of 5.666666666666667 years; not informative: fewer "
         "than 5 cohorts)\n"},
        {{"herd", "--fa-ancestors", "1"},
         " (1 ancestors explain 50% of the genes, the most chosen: --fa-ancestors N chooses up to "
         "N; 1 explain 50%)\n"},
        {{"ped", "--fa-ancestors=3"}, "ancestors explain 100% of the genes; "},
        // Generations keep their lines as they were.
        {{"ped"}, "\n# effective number of founders of the reference population: 2\n"},
    };
    for (const auto& c : cases) {
        std::string command;
        for (const std::string& arg : c.args) command += arg + ' ';
        SCOPED_TRACE(command);
        const auto run = run_stats(box, c.args);
        expect_success(run);
        EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    }
    // In the animals table an animal outside every cohort has no year; one
    // whose year was taken from a parent keeps it.
    const auto animals = run_stats(box, {"--animals", "-", "-o", "/dev/null", "herd"});
    expect_success(animals);
    for (const char* row : {"\nD0\t0\t0\t\t", "\nH\tX0\tD0\t\t", "\nX\t0\t0\t\t",
                            "\nB\tS1\tD1\t1993\t", "\nG\tZ\t0\t1990\t"})
        EXPECT_NE(animals.out.find(row), std::string::npos) << row << animals.out;
    for (const char* count : {"0", "-1", "many", "2x"}) {
        const auto run = run_stats(box, {"--fa-ancestors", count, "ped"});
        EXPECT_EQ(run.status, kUsage) << count;
        EXPECT_TRUE(run.err.starts_with("pedsim-stats: --fa-ancestors " + std::string(count) +
                                        ": the most ancestors fa chooses is a whole number"))
            << run.err;
    }
}

TEST(StatsProgram, AnswersHelpAndVersion)
{
    Sandbox box;
    const auto help = run_stats(box, {"--help"});
    expect_success(help);
    EXPECT_TRUE(help.out.starts_with("Usage: pedsim-stats [options] [PEDIGREE]\n")) << help.out;
    for (const char* option : {"-o FILE", "--animals FILE", "--design PARPOP", "--columns LIST",
                               "--header", "--no-header", "--unknown LABELS", "--selfing",
                               "--fe-known-only", "--fa-ancestors N", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_EQ(run_stats(box, {"-h"}).out, help.out);
    const auto version = run_stats(box, {"--version"});
    expect_success(version);
    EXPECT_TRUE(version.out.starts_with("pedsim-stats ")) << version.out;
    EXPECT_EQ(lines_of(version.out).size(), 1u);
}

// Three small pedigrees of generations 0, 1 and 2 (the parents of E are full
// sibs, half sibs, unrelated): replicates of a study.
const std::string kReplicates[] = {
    "A 0 0\nB 0 0\nC A B\nD A B\nE C D\n",
    "A 0 0\nB 0 0\nX 0 0\nC A B\nD A X\nE C D\n",
    "A 0 0\nB 0 0\nX 0 0\nY 0 0\nC A B\nD X Y\nE C D\nF C D\n",
};

// The cell as a number, NaN when empty.
double number(const std::string& cell) { return cell.empty() ? NAN : std::stod(cell); }

// Mean and standard error of the defined values, computed here directly.
std::pair<double, double> direct_mean_and_error(const std::vector<double>& values)
{
    std::vector<double> defined;
    for (double value : values)
        if (!std::isnan(value)) defined.push_back(value);
    const double n = static_cast<double>(defined.size());
    double sum = 0, squares = 0;
    for (double value : defined) sum += value;
    for (double value : defined) squares += (value - sum / n) * (value - sum / n);
    return {n > 0 ? sum / n : NAN, n > 1 ? std::sqrt(squares / (n - 1)) / std::sqrt(n) : NAN};
}

void expect_cell_near(const std::string& cell, double expected, const std::string& what)
{
    if (std::isnan(expected)) {
        EXPECT_EQ(cell, "") << what;
    } else {
        ASSERT_NE(cell, "") << what;
        EXPECT_NEAR(std::stod(cell), expected, 1e-14 * std::max(1.0, std::fabs(expected))) << what;
    }
}

TEST(StatsProgram, SumsUpReplicatesAsMeanAndStandardErrorPerGeneration)
{
    Sandbox box;
    std::vector<std::string> args{"-o", "study.tsv", "--each", "each"}, singles;
    for (std::size_t k = 0; k < std::size(kReplicates); ++k) {
        const std::string dir = "rep-" + std::to_string(k + 1);
        std::filesystem::create_directory(box.path(dir));
        box.write(dir + "/pedig", kReplicates[k]);
        args.push_back(dir + "/pedig");
        const auto single = run_stats(box, {dir + "/pedig"});
        expect_success(single);
        singles.push_back(single.out);
    }
    expect_success(run_stats(box, args));
    const std::string study = box.read("study.tsv").value_or("");
    EXPECT_TRUE(study.starts_with("# replicates: 3\n# generations: 3, from 0 to 2\n")) << study;
    for (std::size_t k = 0; k < singles.size(); ++k)  // --each keeps each table as it stands alone
        EXPECT_EQ(box.read("each/rep-" + std::to_string(k + 1) + ".tsv"), singles[k]) << k;
    // Every column of the single tables but the generation, the expectation
    // and the within-pedigree error has its mean and error in the study.
    const auto header_of = [](const std::string& table) {
        for (const std::string& line : lines_of(table))
            if (!line.starts_with("#")) return line;
        return std::string();
    };
    std::istringstream columns(header_of(singles[0]));
    std::size_t checked = 0;
    for (std::string column; std::getline(columns, column, '\t');) {
        if (column == "generation" || column == "expected_F" || column.ends_with("_se")) continue;
        for (const char* generation : {"0", "1", "2"}) {
            std::vector<double> values;
            for (const std::string& single : singles)
                values.push_back(number(row_of(single, generation).at(column)));
            const auto [mean, error] = direct_mean_and_error(values);
            const auto row = row_of(study, generation);
            expect_cell_near(row.at(column), mean, column + " of " + generation);
            expect_cell_near(row.at(column + "_se"), error, column + "_se of " + generation);
            ++checked;
        }
    }
    // ... and nothing else: the generation, a mean and an error for each
    // column checked, and the expectation.
    EXPECT_EQ(std::ranges::count(header_of(study), '\t') + 1, 1 + 2 * checked / 3 + 1);
    EXPECT_GE(checked, 3u * 15u);
    // By hand: F of E is 1/4, 1/8, 0 (full sibs, half sibs, unrelated parents).
    EXPECT_EQ(row_of(study, "2").at("mean_F"), "0.125");
    EXPECT_NEAR(std::stod(row_of(study, "2").at("mean_F_se")), 0.125 / std::sqrt(3.0), 1e-16);
}

TEST(StatsProgram, RefusesReplicatesThatAreNotOneStudy)
{
    const struct {
        const char* what;
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {"one more generation",
         {"one", "deeper", "two"},
         kRefused,
         "pedsim-stats: deeper: has generation 3, which one has not; the replicates of a study "
         "must share one set of generations\n"},
        {"one generation less",
         {"deeper", "one"},
         kRefused,
         "pedsim-stats: one: has no generation 3, which deeper has; "},
        {"refused replicate", {"one", "bad"}, kRefused, "pedsim-stats: bad: line 2: animal"},
        {"missing replicate", {"one", "none"}, kFileError, "pedsim-stats: none: cannot open: "},
        {"repeated",
         {"one", "two", "one"},
         kUsage,
         "pedsim-stats: the pedigree one and the pedigree one are one file; each replicate "
         "counts once (pedsim-stats --help lists the options)\n"},
        {"--each of one", {"one"}, kUsage, "pedsim-stats: --each needs two or more pedigrees"},
        {"--each beyond reach",
         {"one", "two", "--each", "one/sub"},
         kFileError,
         "pedsim-stats: one/sub: cannot create the directory: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        box.write("one", kReplicates[0]);
        box.write("two", kReplicates[1]);
        box.write("deeper", kReplicates[0] + "G E 0\n");
        box.write("bad", "B 0 0\nA A B\n");
        box.write("out.tsv", "an earlier table\n");
        std::vector<std::string> args{"-o", "out.tsv"};
        if (std::ranges::find(c.args, "--each") == c.args.end()) args.push_back("--each=each");
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = run_stats(box, args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
        EXPECT_EQ(std::ranges::count(run.err, '\n'), 1) << run.err;
        EXPECT_EQ(box.read("out.tsv"), "an earlier table\n");
        EXPECT_FALSE(std::filesystem::exists(box.path("each")));
    }
}

// Every regular file under `root`, by its path below it, with its contents.
std::map<std::string, std::string> tree_of(const std::filesystem::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path().lexically_relative(root).string()] =
                end_to_end::read_file(entry.path()).value();
    return files;
}

// Studies whose tables would overwrite an input, the design or another
// table, in any spelling, and one replicate given twice under two names:
// each refused before anything is read, no file written or changed.
TEST(StatsProgram, RefusesStudiesThatWouldDestroyAFileOrCountOnePedigreeTwice)
{
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {"--each over an input",
         {"-o", "all.tsv", "--each", "s", "s/a", "s/b", "s/a.tsv"},
         "the pedigree s/a.tsv and --each s/a.tsv are one file; writing there would destroy the "
         "input: choose another output file\n"},
        {"--each over -o, in a directory not made yet",
         {"-o", "e/r1.tsv", "--each", "e", "r1/pedig", "r2/pedig"},
         "-o e/r1.tsv and --each e/r1.tsv are one file; give each table its own file\n"},
        {"--each over -o by another spelling of a directory not made yet",
         {"-o", "../work/e/r2.tsv", "--each", "e", "r1/pedig", "r2/pedig"},
         "-o ../work/e/r2.tsv and --each e/r2.tsv are one file; give each table its own file\n"},
        {"--each over the design",
         {"--design", "d/r1.tsv", "-o", "all.tsv", "--each", "d", "r1/pedig", "r2/pedig"},
         "--design d/r1.tsv and --each d/r1.tsv are one file; writing there would destroy the "
         "input: choose another output file\n"},
        {"one pedigree by two paths",
         {"-o", "all.tsv", "r1/pedig", "r2/pedig", "./r1/pedig"},
         "the pedigree r1/pedig and the pedigree ./r1/pedig are one file; each replicate counts "
         "once (pedsim-stats --help lists the options)\n"},
        {"one pedigree through a hard link",
         {"-o", "all.tsv", "r1/link", "r2/pedig", "r1/pedig"},
         "the pedigree r1/link and the pedigree r1/pedig are one file; each replicate counts "
         "once (pedsim-stats --help lists the options)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        for (const char* directory : {"r1", "r2", "s", "d"})
            std::filesystem::create_directory(box.path(directory));
        box.write("r1/pedig", kReplicates[0]);
        box.write("r2/pedig", kReplicates[1]);
        std::filesystem::create_hard_link(box.path("r1/pedig"), box.path("r1/link"));
        for (const char* name : {"s/a", "s/b", "s/a.tsv"}) box.write(name, kReplicates[2]);
        box.write("d/r1.tsv", "3 2 3 4 2 2 3\n5\n");
        const auto before = tree_of(box.dir());
        const auto run = run_stats(box, c.args);
        EXPECT_EQ(run.status, kUsage);
        EXPECT_EQ(run.err, "pedsim-stats: " + c.message);
        EXPECT_EQ(tree_of(box.dir()), before);
        EXPECT_FALSE(std::filesystem::exists(box.path("e")));
    }
}

TEST(StatsProgram, NamesEachReplicatesTableByWhatTellsItsPedigreeApart)
{
    const struct {
        std::vector<std::string> pedigrees;
        std::vector<std::string> names;
    } cases[] = {
        {{"study/rep-0001/pedig", "study/rep-0002/pedig"}, {"rep-0001.tsv", "rep-0002.tsv"}},
        {{"herd/a.txt", "herd/b.txt"}, {"a.txt.tsv", "b.txt.tsv"}},
        {{"pedig", "sub/pedig"}, {"pedig.tsv", "sub-pedig.tsv"}},
        {{"/s/x/1/pedig", "/s/y/2/pedig"}, {"x-1.tsv", "y-2.tsv"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pedsim::stats::each_table_names(c.pedigrees), c.names) << c.pedigrees[0];
}

}  // namespace
