// End-to-end tests of pedsim-traits: the built program run as a user runs
// it, on the flock pedigree that pedsim writes in the test's directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/end_to_end.h"

namespace {

using end_to_end::Run;
using end_to_end::Sandbox;

constexpr int kRefused = 1, kUsage = 2, kFileError = 4;

const std::string kModel =
    "seed = 11\ntraits = [\"weight\", \"fat\"]\nmean = [300.0, 5.0]\n"
    "additive = [[400.0, 20.0], [20.0, 1.0]]\nresidual = [[500.0, 10.0], [10.0, 2.0]]\n"
    "permanent = [[100.0, 0.0], [0.0, 0.5]]\nrecords = 2\n"
    "inbreeding_depression = [-50.0, 0.0]\n";

Run run_traits(const Sandbox& box, const std::vector<std::string>& args,
               const std::vector<std::string>& launcher = {})
{
    return box.run(args, std::chrono::seconds(60), launcher, PEDSIM_TRAITS_BINARY);
}

// A sandbox holding the flock's pedigree (14120 animals) as "pedig" and the
// model as "model.toml".
void prepare_flock(const Sandbox& box)
{
    box.write("parpop", end_to_end::read_file(std::filesystem::path(PEDSIM_TEST_DATA) / ".." /
                                              "examples" / "flock.parpop")
                            .value());
    ASSERT_EQ(box.run().status, 0);
    box.write("model.toml", kModel);
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; in >> field;) fields.push_back(field);
    return fields;
}

// The rows of a table by their first field (and record number, for the
// records table), each row's text whole.
std::map<std::string, std::string> rows_by_animal(const std::string& table, bool records)
{
    std::map<std::string, std::string> rows;
    for (const std::string& line : lines_of(table)) {
        const auto fields = fields_of(line);
        rows[fields.at(0) + (records ? "/" + fields.at(4) : "")] = line;
    }
    return rows;
}

void expect_success(const Run& run)
{
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.status, 0) << run.err;
}

const std::vector<std::string> kAllOutputs = {"--model",   "model.toml",  "-o",      "rec.tsv",
                                              "--animals", "animals.tsv", "--check", "check.tsv"};

std::string outputs_of(const Sandbox& box)
{
    return box.read("rec.tsv").value_or("") + box.read("animals.tsv").value_or("") +
           box.read("check.tsv").value_or("");
}

// The same seed gives the same bytes, on one thread or on two.
TEST(TraitsProgram, SameSeedSameBytesWhateverTheThreads)
{
    Sandbox box;
    prepare_flock(box);
    const struct {
        const char* what;
        std::vector<std::string> threads;
    } cases[] = {{"default", {}},
                 {"one thread", {"--threads", "1"}},
                 {"two threads", {"--threads", "2"}},
                 {"seven threads", {"--threads=7"}},
                 {"again", {}}};
    std::string first;
    for (const auto& [what, threads] : cases) {
        SCOPED_TRACE(what);
        std::vector<std::string> args = kAllOutputs;
        args.insert(args.end(), threads.begin(), threads.end());
        expect_success(run_traits(box, args));
        const std::string outputs = outputs_of(box);
        EXPECT_GT(outputs.size(), 1000000u);
        if (first.empty()) first = outputs;
        EXPECT_TRUE(outputs == first);
    }
    expect_success(run_traits(box, {"--model", "model.toml", "--seed", "12", "-o", "other.tsv"}));
    EXPECT_NE(box.read("other.tsv"), box.read("rec.tsv"));
}

// Reversing the rows and adding unrelated animals leave every shared
// animal's values and records as they were.
TEST(TraitsProgram, SharedAnimalsKeepTheirValuesWhenRowsChange)
{
    Sandbox box;
    prepare_flock(box);
    std::vector<std::string> rows = lines_of(box.read("pedig").value());
    std::ranges::reverse(rows);
    std::string changed;
    for (const std::string& row : rows) changed += row + '\n';
    for (int k = 0; k < 50; ++k)
        changed += "stranger" + std::to_string(k) + " 0 " + (k < 25 ? "0" : "stranger0") + " -11\n";
    box.write("changed", changed);
    expect_success(run_traits(box, kAllOutputs));
    const auto records = rows_by_animal(box.read("rec.tsv").value(), true);
    const auto animals = rows_by_animal(box.read("animals.tsv").value(), false);
    expect_success(run_traits(
        box, {"--model", "model.toml", "-o", "rec2.tsv", "--animals", "animals2.tsv", "changed"}));
    const auto records2 = rows_by_animal(box.read("rec2.tsv").value(), true);
    const auto animals2 = rows_by_animal(box.read("animals2.tsv").value(), false);
    EXPECT_EQ(records2.size(), records.size() + 100);  // two records of each stranger
    EXPECT_EQ(animals2.size(), animals.size() + 50);
    for (const auto& [key, row] : records) EXPECT_EQ(records2.at(key), row);
    for (const auto& [key, row] : animals) EXPECT_EQ(animals2.at(key), row);
}

// The numeric files read back: the pedigree parents first, the numbers those
// of ids.txt, and the data rows the records table's.
// A model with every kind of effect, for the numeric files.
const std::string kRichModel =
    "seed = 11\ntraits = [\"weight\", \"ease\"]\nmean = [300.0, 0.0]\n"
    "additive = [[400.0, 2.0], [2.0, 0.2]]\nresidual = [[500.0, 0.0], [0.0, 0.8]]\n"
    "permanent = [[100.0, 0.0], [0.0, 0.1]]\nrecords = [2, 1]\n"
    "recorded_sex = [\"all\", \"F\"]\nrecorded_fraction = [0.8, 1.0]\n"
    "inbreeding_depression = [-50.0, 0.0]\nrecorded_generations = [0, 2]\n"
    "maternal = [[50.0, 0.0], [0.0, 0.05]]\ndirect_maternal = [[-10.0, 0.0], [0.0, 0.0]]\n"
    "maternal_permanent = [[20.0, 0.0], [0.0, 0.02]]\n"
    "threshold = [[], [0.5]]\n"
    "[[fixed]]\nname = \"cg\"\ngroups = 5\nvariance = [100.0, 0.1]\n"
    "[[fixed]]\nname = \"sexeffect\"\ncolumn = \"sex\"\nvalues = { M = [10.0, 0.2], F = [0.0, 0.0] "
    "}\n";

// Tab-separated cells, empty ones kept.
std::vector<std::string> cells_of(const std::string& line)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        cells.push_back(line.substr(start, tab - start));
    cells.push_back(line.substr(start));
    return cells;
}

// The line after the one that is `key`, in the lines of a parameter file.
std::string line_after(const std::vector<std::string>& lines, const std::string& key,
                       std::size_t lines_down = 1)
{
    const auto found = std::ranges::find(lines, key);
    if (found == lines.end() || lines.end() - found <= static_cast<long>(lines_down)) return "";
    return *(found + static_cast<long>(lines_down));
}

// What the numeric files hold, read back: the columns README.txt lists, the
// data's rows split into fields, and each column's largest code.
struct NumericData {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::size_t position(const std::string& name) const
    {
        return static_cast<std::size_t>(std::ranges::find(columns, name) - columns.begin());
    }
    double largest(std::size_t column) const
    {
        double most = 0;
        for (const auto& row : rows) most = std::max(most, std::stod(row.at(column)));
        return most;
    }
};

NumericData read_numeric(const Sandbox& box)
{
    NumericData data;
    bool listing = false;
    for (const std::string& line : lines_of(box.read("num/README.txt").value())) {
        const auto fields = fields_of(line);
        if (listing && fields.size() == 2 && line.starts_with("  ")) {
            data.columns.push_back(fields[1]);
        } else if (listing) {
            break;
        }
        listing = listing || line.ends_with("its columns:");
    }
    for (const std::string& line : lines_of(box.read("num/data.txt").value()))
        data.rows.push_back(fields_of(line));
    return data;
}

// Every record of the records table, keyed "animal/record/trait", and every
// record of data.txt under the same key by the identifiers of ids.txt: the
// same values (a threshold category plus one), the dam, and fixed codes
// that stand each for one level.
void expect_data_matches_records(const Sandbox& box, const NumericData& data)
{
    std::map<std::string, std::string> name_of{{"0", "0"}};
    for (const std::string& line : lines_of(box.read("num/ids.txt").value()))
        name_of[fields_of(line).at(0)] = fields_of(line).at(1);
    const auto records = lines_of(box.read("rec.tsv").value());
    const auto header = cells_of(records.at(0));
    const std::vector<std::string> traits = {"weight", "ease"};
    std::map<std::string, std::string> value_of, row_of;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const auto cells = cells_of(records[k]);
        row_of[cells[0] + '/' + cells[4]] = records[k];
        for (std::size_t t = 0; t < traits.size(); ++t)
            if (!cells.at(header.size() - 2 + t).empty())
                value_of[cells[0] + '/' + cells[4] + '/' + traits[t]] =
                    cells[header.size() - 2 + t];
    }
    const bool long_layout = data.columns.front() == "trait";
    std::size_t found = 0;
    std::map<std::string, std::string> level_of_code, code_of_level;
    for (const auto& row : data.rows) {
        ASSERT_EQ(row.size(), data.columns.size());
        const std::string animal = name_of.at(row[data.position("animal")]);
        const std::string record = row[data.position("record")];
        const auto cells = cells_of(row_of.at(animal + '/' + record));
        EXPECT_EQ(name_of.at(row[data.position("dam")]), cells[2]);
        for (const std::string effect : {"cg", "sexeffect"}) {
            const std::string code = effect + row[data.position(effect)];
            const auto column =
                static_cast<std::size_t>(std::ranges::find(header, effect) - header.begin());
            const std::string level = effect + cells.at(column);
            EXPECT_EQ(level_of_code.try_emplace(code, level).first->second, level);
            EXPECT_EQ(code_of_level.try_emplace(level, code).first->second, code);
        }
        for (std::size_t t = 0; t < traits.size(); ++t) {
            if (long_layout && row[0] != std::to_string(t + 1)) continue;
            const std::string value = row[data.position(long_layout ? "value" : traits[t])];
            if (!long_layout && value == "0") continue;
            const std::string expected = value_of.at(animal + '/' + record + '/' + traits[t]);
            if (traits[t] == "ease")
                EXPECT_EQ(std::stod(value), std::stod(expected) + 1);
            else
                EXPECT_EQ(value, expected);
            ++found;
        }
    }
    EXPECT_EQ(found, value_of.size());
}

// blupf90.par names data.txt, the traits' columns, effects whose levels
// cover the data's codes, R, and the direct and maternal effects as one
// group with the joint matrix.
void expect_blupf90_parameters(const std::vector<std::string>& par, const NumericData& data)
{
    EXPECT_EQ(line_after(par, "DATAFILE"), "data.txt");
    EXPECT_EQ(line_after(par, "NUMBER_OF_TRAITS"), "2");
    const auto observations = fields_of(line_after(par, "OBSERVATION(S)"));
    ASSERT_EQ(observations.size(), 2u);
    EXPECT_EQ(data.columns.at(std::stoul(observations[0]) - 1), "weight");
    EXPECT_EQ(data.columns.at(std::stoul(observations[1]) - 1), "ease");
    std::vector<std::string> effect_columns;
    const auto effects = std::ranges::find(par, "EFFECTS:");
    for (auto line = effects + 1; line != par.end() && !line->starts_with("RANDOM"); ++line) {
        const auto fields = fields_of(*line);
        const std::size_t column = std::stoul(fields.at(0)) - 1;
        EXPECT_EQ(fields.at(1), fields.at(0));  // the same column for both traits
        effect_columns.push_back(data.columns.at(column));
        if (fields.at(3) == "cross") {
            EXPECT_GE(std::stod(fields.at(2)), data.largest(column)) << *line;
        }
    }
    EXPECT_EQ(std::to_string(effect_columns.size()), line_after(par, "NUMBER_OF_EFFECTS"));
    EXPECT_EQ(effect_columns,
              (std::vector<std::string>{"intercept", "cg", "sexeffect", "inbreeding", "animal",
                                        "dam", "animal", "dam"}));
    EXPECT_EQ(line_after(par, "RANDOM_RESIDUAL VALUES"), "500 0");
    EXPECT_EQ(line_after(par, "RANDOM_RESIDUAL VALUES", 2), "0 0.8");
    EXPECT_EQ(line_after(par, "RANDOM_GROUP"), "5 6");
    EXPECT_EQ(line_after(par, "FILE"), "pedigree.txt");
    const std::vector<std::string> joint = {"400 2 -10 0", "2 0.2 0 0", "-10 0 50 0", "0 0 0 0.05"};
    for (std::size_t r = 0; r < joint.size(); ++r)
        EXPECT_EQ(line_after(par, "(CO)VARIANCES", r + 1), joint[r]);
}

// wombat.par names the pedigree, every column of data.txt in order with
// levels that cover its codes (the traits' names on the records' column),
// each random effect on its own column with its (co)variances, the residual
// (co)variances, and the record number as the time of repeated records.
void expect_wombat_parameters(const std::vector<std::string>& par, const NumericData& data)
{
    EXPECT_NE(std::ranges::find(par, "ANALYSIS MUV"), par.end());
    EXPECT_NE(std::ranges::find(par, "PEDS pedigree.txt"), par.end());
    const auto block = std::ranges::find(par, "DATA data.txt");
    ASSERT_NE(block, par.end());
    std::size_t column = 0;
    for (auto line = block + 1; line != par.end() && *line != "END DATA"; ++line, ++column) {
        const auto fields = fields_of(*line);
        if (data.columns.at(column) == "value") {
            EXPECT_EQ(fields, (std::vector<std::string>{"weight", "ease"}));
            continue;
        }
        EXPECT_EQ(fields.at(0) == "TRNO" ? "trait" : fields.at(0), data.columns.at(column));
        if (fields.size() == 2) {
            EXPECT_GE(std::stod(fields[1]), data.largest(column)) << *line;
        }
    }
    EXPECT_EQ(column, data.columns.size());
    const auto model = std::ranges::find(par, "MODEL");
    ASSERT_NE(model, par.end());
    std::vector<std::string> lines;
    for (auto line = model + 1; line != par.end() && *line != "END MODEL"; ++line)
        lines.push_back(*line);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"  FIX cg", "  FIX sexeffect", "  COV inbreeding(1)",
                                        "  RAN animal NRM", "  RAN dam NRM", "  RAN pe IDE",
                                        "  RAN mpe IDE", "  TRAIT weight 1", "  TRAIT ease 2"}));
    // F is 0 for the founders: WOMBAT is told 0 is a value of it.
    EXPECT_NE(std::ranges::find(par, "  COVZER inbreeding(1) FIT"), par.end());
    // Each random effect's column holds what it says: pe the animal, mpe the dam.
    for (const auto& row : data.rows) {
        EXPECT_EQ(row.at(data.position("pe")), row.at(data.position("animal")));
        EXPECT_EQ(row.at(data.position("mpe")), row.at(data.position("dam")));
    }
    const struct {
        const char* head;
        const char* values;
    } variances[] = {{"VAR animal 2 UNSTR", "400 2|0.2"},
                     {"VAR dam 2 UNSTR", "50 0|0.05"},
                     {"VAR pe 2 UNSTR", "100 0|0.1"},
                     {"VAR mpe 2 UNSTR", "20 0|0.02"},
                     {"VAR residual 2 UNSTR", "500 0|0.8"}};
    // The upper triangle a row per line.
    for (const auto& [head, values] : variances)
        EXPECT_EQ(line_after(par, head) + '|' + line_after(par, head, 2), values) << head;
    EXPECT_EQ(line_after(par, "SPECIAL"), "  RPTCOV TSELECT record");
    EXPECT_NE(std::ranges::find(par, "END SPECIAL"), par.end());
}

class NumericLayout : public testing::TestWithParam<const char*> {};

// Both layouts read back against the records table; each parameter file
// describes the layout its program reads and says so in the other.
TEST_P(NumericLayout, FilesReadBack)
{
    Sandbox box;
    prepare_flock(box);
    box.write("rich.toml", kRichModel);
    expect_success(run_traits(box, {"--model", "rich.toml", "-o", "rec.tsv", "--numeric", "num",
                                    "--numeric-layout", GetParam()}));
    const auto pedigree = lines_of(box.read("num/pedigree.txt").value());
    ASSERT_EQ(pedigree.size(), 14120u);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const auto fields = fields_of(pedigree[i]);
        ASSERT_EQ(fields.size(), 3u);
        EXPECT_EQ(std::stoul(fields[0]), i + 1);
        EXPECT_LT(std::stoul(fields[1]), i + 1) << pedigree[i];  // 0 or an earlier animal
        EXPECT_LT(std::stoul(fields[2]), i + 1) << pedigree[i];
    }
    const NumericData data = read_numeric(box);
    ASSERT_FALSE(data.rows.empty());
    expect_data_matches_records(box, data);
    const auto blupf90 = lines_of(box.read("num/blupf90.par").value());
    const auto wombat = lines_of(box.read("num/wombat.par").value());
    if (std::string(GetParam()) == "wide") {
        expect_blupf90_parameters(blupf90, data);
        EXPECT_TRUE(std::ranges::all_of(wombat, [](const auto& l) { return l.starts_with('#'); }));
    } else {
        expect_wombat_parameters(wombat, data);
        EXPECT_TRUE(std::ranges::all_of(blupf90, [](const auto& l) { return l.starts_with('#'); }));
    }
}

INSTANTIATE_TEST_SUITE_P(TraitsProgram, NumericLayout, testing::Values("wide", "long"),
                         [](const auto& named) { return std::string(named.param); });

// A sandbox of the failure tests: the model as "m", a pedigree "pedig", a
// refused one "bad", and the outputs "out" and "animals" that must be kept.
void write_kept_outputs(const Sandbox& box, const std::string& model)
{
    box.write("m", model);
    box.write("pedig", "A 0 0\nB 0 0\nC A B\n");
    box.write("bad", "A A 0\n");
    box.write("out", "kept\n");
    box.write("animals", "kept too\n");
}

// A model whose fixed effect reads the pedigree column its last line names.
const std::string kHerdModel = "seed = 1\ntraits = [\"w\"]\nmean = 0\nadditive = 1\nresidual = 1\n"
                               "[[fixed]]\nname = \"hd\"\nvariance = 1\n";
const std::string kColumnAdvice = "; give a column's header name or its number from 1 (column = "
                                  "5), or \"sex\" or \"generation\"\n";

TEST(TraitsProgram, FailuresLeaveEveryOutputAsItWas)
{
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string model;
        int status;
        std::string message;
    } cases[] = {
        {"no model",
         {"-o", "out"},
         kModel,
         kUsage,
         "pedsim-traits: no trait model; give --model MODEL (pedsim-traits --help lists the "
         "options)\n"},
        {"no threads",
         {"--model", "m", "--threads", "0"},
         kModel,
         kUsage,
         "pedsim-traits: --threads \"0\" is not an integer from 1 to 64 (pedsim-traits --help "
         "lists the options)\n"},
        {"unknown numeric layout",
         {"--model", "m", "--numeric", "n", "--numeric-layout", "tall"},
         kModel,
         kUsage,
         "pedsim-traits: --numeric-layout \"tall\" is not wide or long (pedsim-traits --help "
         "lists the options)\n"},
        {"bad seed",
         {"--model", "m", "--seed", "x"},
         kModel,
         kUsage,
         "pedsim-traits: --seed \"x\" is not an integer from 0 to 18446744073709551615 "
         "(pedsim-traits --help lists the options)\n"},
        {"missing model",
         {"--model", "none", "-o", "out"},
         kModel,
         kFileError,
         "pedsim-traits: none: cannot open: No such file or directory\n"},
        {"refused model",
         {"--model", "m", "-o", "out", "--animals", "animals"},
         "traits = [\"w\"]\nmean = 0\nadditive = -1\nresidual = 1\n",
         kRefused,
         "pedsim-traits: m: line 3: additive: the variance of trait 1 is negative; variances "
         "are at least 0\n"},
        {"no seed",
         {"--model", "m", "-o", "out"},
         "traits = [\"w\"]\nmean = 0\nadditive = 1\nresidual = 1\n",
         kRefused,
         "pedsim-traits: m: no seed; add seed = N to the model or give --seed N\n"},
        {"refused pedigree",
         {"--model", "m", "-o", "out", "bad"},
         kModel,
         kRefused,
         "pedsim-traits: bad: line 1: animal \"A\" is its own sire\n"},
        {"a herd column named in a pedigree without a header",
         {"--model", "m", "-o", "out"},
         kHerdModel + "column = \"herd\"\n",
         kRefused,
         "pedsim-traits: m: line 9: fixed.column: pedig: it has no header to name its columns "
         "by" +
             kColumnAdvice},
        {"a herd holding a tab, which would split the tables' rows",
         {"--model", "m", "-o", "out", "tab.csv"},
         kHerdModel + "column = \"HERD\"\n",
         kRefused,
         "pedsim-traits: m: line 9: fixed.column: tab.csv: the value \"h\\x091\" of column "
         "\"HERD\" holds a control character, which the tab-separated tables cannot hold; "
         "remove it\n"},
        {"a column number beyond the pedigree's rows",
         {"--model", "m", "-o", "out"},
         kHerdModel + "column = 4\n",
         kRefused,
         "pedsim-traits: m: line 9: fixed.column: pedig: column 4 is beyond the 3 fields of a "
         "row" +
             kColumnAdvice},
    };
    for (const auto& [what, args, model, status, message] : cases) {
        SCOPED_TRACE(what);
        Sandbox box;
        write_kept_outputs(box, model);
        box.write("tab.csv", "id,sire,dam,herd\nA,,,\"h\t1\"\nB,,,h2\n");
        const end_to_end::Run run = run_traits(box, args);
        EXPECT_EQ(run.status, status);
        EXPECT_EQ(run.err, message);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(box.read("out"), "kept\n");
        EXPECT_EQ(box.read("animals"), "kept too\n");
    }
}

// Outputs that would destroy an input or each other, two tables on standard
// output, a table bound for a closed standard output: each refused before
// anything is read, every file intact.
TEST(TraitsProgram, RefusesOutputsThatWouldDestroyAFile)
{
    const end_to_end::RefusedCommand cases[] = {
        {"-o naming the pedigree",
         {"--model", "m", "-o", "pedig"},
         {},
         kUsage,
         "the pedigree pedig and -o pedig are one file; writing there would destroy the input: "
         "choose another output file\n"},
        {"--animals naming the model by another path",
         {"--model", "m", "--animals", "../work/m", "-o", "out"},
         {},
         kUsage,
         "--model m and --animals ../work/m are one file;"},
        {"a --numeric file naming the pedigree",
         {"--model", "m", "--numeric", ".", "ids.txt"},
         {},
         kUsage,
         "the pedigree ids.txt and --numeric ./ids.txt are one file;"},
        {"--check naming -o's file",
         {"--model", "m", "-o", "out", "--check", "./out"},
         {},
         kUsage,
         "-o out and --check ./out are one file; give each table its own file\n"},
        {"records and check table on standard output",
         {"--model", "m", "-o", "-", "--check", "-"},
         {},
         kUsage,
         "-o - and --check - both name standard output; send one of the tables to a file "
         "(pedsim-traits --help lists the options)\n"},
        {"animals on standard output beside the records",
         {"--model", "m", "--animals", "-"},
         {},
         kUsage,
         "--animals - and the records both go to standard output; give -o FILE for the records "
         "(pedsim-traits --help lists the options)\n"},
        {"closed standard output",
         {"--model", "m"},
         end_to_end::redirected(">&-"),
         kFileError,
         "standard output: it is closed; give -o FILE to write the records to a file\n"},
        {"check table to a closed standard output",
         {"--model", "m", "-o", "out", "--check", "-"},
         end_to_end::redirected(">&-"),
         kFileError,
         "standard output: it is closed; give --check FILE to write the check table to a file\n"},
        {"records to a closed standard output named /dev/stdout",
         {"--model", "m", "-o", "/dev/stdout"},
         end_to_end::redirected(">&-"),
         kFileError,
         "standard output: it is closed; give -o FILE to write the records to a file\n"},
        {"animals on standard output named /proc/self/fd/1 beside the records",
         {"--model", "m", "--animals", "/proc/self/fd/1"},
         {},
         kUsage,
         "--animals /proc/self/fd/1 and the records both go to standard output; give -o FILE "
         "for the records (pedsim-traits --help lists the options)\n"},
        {"-o naming a --numeric file by another path to a directory not made yet",
         {"--model", "m", "-o", "../work/nd/data.txt", "--numeric", "nd"},
         {},
         kUsage,
         "-o ../work/nd/data.txt and --numeric nd/data.txt are one file; give each table its "
         "own file\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox box;
        box.write("m", kModel);
        box.write("pedig", "A 0 0\nB 0 0\nC A B\n");
        box.write("ids.txt", "A 0 0\n");
        box.write("out", "kept\n");
        const end_to_end::Run run = run_traits(box, c.args, c.launcher);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.starts_with("pedsim-traits: " + c.message)) << run.err;
        EXPECT_EQ(std::ranges::count(run.err, '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(box.read("m"), kModel);
        EXPECT_EQ(box.read("pedig"), "A 0 0\nB 0 0\nC A B\n");
        EXPECT_EQ(box.read("ids.txt"), "A 0 0\n");
        EXPECT_EQ(box.read("out"), "kept\n");
    }
}

// A table bound for a standard stream that cannot take it, full or closed,
// fails the run before any file is replaced: the check table on standard
// error as much as the records on standard output.
TEST(TraitsProgram, AStandardStreamThatCannotTakeATableFailsTheRunAndKeepsTheFiles)
{
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string redirection;
    } cases[] = {
        {"check table to standard error", {"-o", "out", "--animals", "animals"}, "2>/dev/full"},
        {"check table to a closed standard error", {"-o", "out"}, "2>&-"},
        {"check table to standard output", {"-o", "out", "--check", "-"}, ">/dev/full"},
        {"records to standard output", {"--animals", "animals"}, ">/dev/full"},
    };
    for (const auto& [what, args, redirection] : cases) {
        SCOPED_TRACE(what);
        Sandbox box;
        write_kept_outputs(box, kModel);
        std::vector<std::string> all = {"--model", "m"};
        all.insert(all.end(), args.begin(), args.end());
        const end_to_end::Run run = run_traits(box, all, end_to_end::redirected(redirection));
        EXPECT_EQ(run.status, kFileError) << run.err;
        EXPECT_EQ(box.read("out"), "kept\n");
        EXPECT_EQ(box.read("animals"), "kept too\n");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(box.dir()), {}), 5);
    }
}

// "-" sends a table to standard output: the same bytes as its file.
TEST(TraitsProgram, DashIsStandardOutput)
{
    Sandbox box;
    box.write("m", kModel);
    box.write("pedig", "A 0 0\nB 0 0\nC A B\nD C B\n");
    const end_to_end::Run files =
        run_traits(box, {"--model", "m", "-o", "rec", "--animals", "an", "--check", "ch"});
    expect_success(files);
    for (const auto& [args, file] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--model", "m", "-o", "-"}, "rec"},
             {{"--model", "m", "-o", "rec2", "--animals", "-"}, "an"},
             {{"--model", "m", "-o", "rec2", "--check", "-"}, "ch"},
         }) {
        SCOPED_TRACE(file);
        const end_to_end::Run run = run_traits(box, args);
        expect_success(run);
        EXPECT_EQ(run.out, box.read(file).value_or("(none)"));
    }
}

// The reading options mean what they mean to pedsim-stats: a comma-separated
// file with a header, its columns in another order and its own mark of an
// unknown parent, gives the animals table of the plain file.
TEST(TraitsProgram, ReadingOptionsAsPedsimStats)
{
    Sandbox box;
    box.write("m", kModel);
    box.write("pedig", "A 0 0\nB 0 0\nC A B\nD C B\nE C D\n");
    box.write("ped.csv", "dam,id,sire\n,A,\n,B,\nB,C,A\nB,D,C\nD,E,C\n");
    box.write("unk.csv", "dam;id;sire\nunk;A;unk\nunk;B;UNK\nB;C;A\nB;D;C\nD;E;C\n");
    const std::vector<std::string> to_file = {"--model", "m", "-o", "rec", "--animals", "-"};
    const end_to_end::Run plain = run_traits(box, to_file);
    expect_success(plain);
    ASSERT_EQ(lines_of(plain.out).size(), 6u) << plain.out;
    const struct {
        const char* what;
        std::vector<std::string> args;
    } cases[] = {
        {"columns by name", {"--columns", "id=id,sire=sire,dam=dam", "ped.csv"}},
        {"columns by number after '='", {"--columns=2,3,1", "--header", "ped.csv"}},
        {"unknown labels", {"--columns", "2,3,1", "--unknown", "unk", "unk.csv"}},
    };
    for (const auto& [what, args] : cases) {
        SCOPED_TRACE(what);
        std::vector<std::string> all = to_file;
        all.insert(all.end(), args.begin(), args.end());
        const end_to_end::Run run = run_traits(box, all);
        expect_success(run);
        EXPECT_EQ(run.out, plain.out);
    }
    const end_to_end::Run refused =
        run_traits(box, {"--model", "m", "--header", "--no-header", "ped.csv"});
    EXPECT_EQ(refused.status, kUsage);
    EXPECT_EQ(refused.err, "pedsim-traits: --header and --no-header contradict each other "
                           "(pedsim-traits --help lists the options)\n");
}

TEST(TraitsProgram, HelpAndVersion)
{
    Sandbox box;
    const end_to_end::Run help = run_traits(box, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: pedsim-traits --model MODEL [options] [PEDIGREE]\n"));
    const end_to_end::Run version = run_traits(box, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("pedsim-traits ")) << version.out;
}

}  // namespace

namespace {

// With no residual the records are mean + a + b F exactly: each record
// carries its own animal's breeding value and the inbreeding depression of
// its own F, and only the recorded generations have records.
TEST(TraitsProgram, RecordsCarryBreedingValueAndInbreedingDepression)
{
    Sandbox box;
    prepare_flock(box);
    box.write("plain.toml", "seed = 3\ntraits = [\"w\"]\nmean = 10.0\nadditive = 4.0\n"
                            "residual = 0\ninbreeding_depression = -1000.0\n"
                            "recorded_generations = [0, 1]\n");
    expect_success(
        run_traits(box, {"--model", "plain.toml", "-o", "rec.tsv", "--animals", "animals.tsv"}));
    std::map<std::string, std::vector<std::string>> animals;
    std::size_t in_range = 0;
    for (const std::string& line : lines_of(box.read("animals.tsv").value())) {
        const auto fields = fields_of(line);
        animals[fields[0]] = fields;
        if (fields[3] == "0" || fields[3] == "1") ++in_range;
    }
    const auto records = lines_of(box.read("rec.tsv").value());
    ASSERT_EQ(records.size(), in_range + 1);
    double largest_depression = 0;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const auto fields = fields_of(records[k]);
        const auto& animal = animals.at(fields[0]);
        const double f = std::stod(animal[4]), a = std::stod(animal[6]);
        EXPECT_EQ(std::stod(fields[5]), 10.0 + a + -1000.0 * f) << records[k];
        largest_depression = std::max(largest_depression, 1000.0 * f);
    }
    EXPECT_GT(largest_depression, 10.0);  // the flock's animals are inbred
}

// recorded_generations against the generations of the pedigree (0, 0, 1,
// 2): a range holding none of them is refused before anything is written,
// one reaching beyond them is noted, and the records are those of the
// generations both share.
TEST(TraitsProgram, RecordedGenerationsBeyondThePedigreeAreNotedOrRefused)
{
    const struct {
        std::string range;
        int status;
        std::string note;  // the start of standard error
        std::vector<std::string> recorded;
    } cases[] = {
        {"[5, 9]",
         kRefused,
         "pedsim-traits: m: recorded_generations [5, 9] holds none of the pedigree's generations "
         "(0 to 2): no animal would have a record; choose generations among them\n",
         {}},
        {"[1, 5]",
         0,
         "pedsim-traits: m: recorded_generations [1, 5] reaches beyond the pedigree's generations "
         "(0 to 2): only generations 1 to 2 have records\n",
         {"C", "D"}},
        {"[-3, 0]",
         0,
         "pedsim-traits: m: recorded_generations [-3, 0] reaches beyond the pedigree's "
         "generations (0 to 2): only generations 0 to 0 have records\n",
         {"A", "B"}},
        {"[0, 1]", 0, "# ", {"A", "B", "C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        Sandbox box;
        box.write("m", "seed = 1\ntraits = [\"w\"]\nmean = 0\nadditive = 1\nresidual = 1\n"
                       "recorded_generations = " +
                           c.range + "\n");
        box.write("pedig", "A 0 0\nB 0 0\nC A B\nD C B\n");
        box.write("out", "kept\n");
        const end_to_end::Run run = run_traits(box, {"--model", "m", "-o", "out"});
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.starts_with(c.note)) << run.err;
        if (c.status != 0) {
            EXPECT_EQ(box.read("out"), "kept\n");
            continue;
        }
        std::vector<std::string> recorded;
        for (const std::string& line : lines_of(box.read("out").value()))
            if (!line.starts_with("animal\t")) recorded.push_back(fields_of(line).at(0));
        EXPECT_EQ(recorded, c.recorded);
    }
}

// The largest values a model may hold, and a mean that swamps the tiniest
// variance, give tables of finite numbers or empty cells: never "inf".
TEST(TraitsProgram, TablesAtTheBoundsOfTheValuesHoldFiniteNumbers)
{
    const struct {
        const char* what;
        std::string model;
        std::string pedigree;
    } cases[] = {
        {"largest values",
         "traits = [\"w\", \"f\"]\nmean = [-1e100, 1e100]\nadditive = [[1e100, -1e100], [-1e100, "
         "1e100]]\nresidual = [[1e100, 0], [0, 1e100]]\npermanent = [[1e100, 0], [0, 1e-100]]\n"
         "records = 3\ninbreeding_depression = [1e100, -1e100]\n",
         "A 0 0\nB 0 0\nC A B\nD A C\nE D C\n"},
        // Two records of 1e100 + a, a of order 1e-50, are one number: the
        // phenotypes do not vary while the breeding values do.
        {"mean swamping the variance",
         "traits = [\"w\"]\nmean = 1e100\nadditive = 1e-100\nresidual = 0\n", "A 0 0\nB 0 0\n"},
    };
    for (const auto& [what, model, pedigree] : cases) {
        SCOPED_TRACE(what);
        Sandbox box;
        box.write("m", "seed = 4\n" + model);
        box.write("pedig", pedigree);
        expect_success(run_traits(
            box, {"--model", "m", "-o", "rec", "--animals", "animals", "--check", "check"}));
        std::size_t numbers = 0;
        // The first three columns of the records and the animals are names.
        for (const auto& [table, names] : {std::pair{"rec", 3}, {"animals", 3}, {"check", 0}})
            for (const std::string& line : lines_of(box.read(table).value())) {
                if (line.starts_with("#") || line.starts_with("generation\t") ||
                    line.starts_with("animal\t"))
                    continue;
                const auto cells = cells_of(line);
                for (auto cell = cells.begin() + names; cell != cells.end(); ++cell)
                    if (!cell->empty()) {
                        EXPECT_TRUE(std::isfinite(std::stod(*cell))) << table << ": " << line;
                        ++numbers;
                    }
            }
        EXPECT_GT(numbers, 10u);
    }
}

// The temporary files beside the outputs of the signal test.
std::vector<std::string> temporaries(const Sandbox& box)
{
    std::vector<std::string> found;
    for (const char* directory : {".", "num"})
        if (std::filesystem::is_directory(box.path(directory)))
            for (const auto& entry : std::filesystem::directory_iterator(box.path(directory)))
                if (entry.path().filename().string().starts_with("."))
                    found.push_back(entry.path().filename().string());
    return found;
}

// Eight tables wait in their temporary files while the records fill a pipe
// that nobody reads: each termination signal removes all eight, however many
// there are, and ends the run as it would have.
TEST(TraitsProgram, ATerminationSignalRemovesEveryTemporaryFile)
{
    Sandbox box;
    prepare_flock(box);
    ASSERT_EQ(::mkfifo(box.path("fifo").c_str(), 0600), 0);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const int reader = ::open(box.path("fifo").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        const pid_t pid = box.start({"--model", "model.toml", "--animals", "animals.tsv", "--check",
                                     "check.tsv", "--numeric", "num"},
                                    end_to_end::redirected(">fifo"), PEDSIM_TRAITS_BINARY);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (temporaries(box).size() < 8 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(temporaries(box).size(), 8u);
        ::kill(pid, signal);
        const end_to_end::Run run = box.wait(pid);
        ::close(reader);
        EXPECT_EQ(run.signal, signal) << run.err;
        EXPECT_EQ(temporaries(box), std::vector<std::string>{});
        EXPECT_FALSE(std::filesystem::exists(box.path("animals.tsv")));
        std::filesystem::remove_all(box.path("num"));
    }
}

// Without genetic or residual variance a record is its mean plus the true
// values --effects gives for its levels plus slope times its covariate: the
// records table's level columns, the effects table and the draws agree.
// The summary's line of a fixed effect: its number of levels and the
// variance of their values about their mean, per trait, computed here from
// the --effects table, then the model's variances when it has them.
void expect_fixed_summary(const std::string& summary,
                          const std::map<std::string, std::vector<double>>& value_of,
                          const std::string& effect, const std::string& expected)
{
    std::vector<std::vector<double>> levels;
    for (const auto& [key, values] : value_of)
        if (key.starts_with(effect + '/')) levels.push_back(values);
    ASSERT_FALSE(levels.empty());
    const auto count = static_cast<double>(levels.size());
    std::ostringstream want;
    want << "# fixed effect " << effect << ": " << levels.size() << " levels; realised variance";
    std::vector<double> variances;
    for (std::size_t t = 0; t < levels.front().size(); ++t) {
        double sum = 0, squares = 0;
        for (const auto& level : levels) sum += level[t];
        for (const auto& level : levels)
            squares += (level[t] - sum / count) * (level[t] - sum / count);
        variances.push_back(squares / count);
    }
    const auto lines = lines_of(summary);
    const auto found = std::ranges::find_if(
        lines, [&](const std::string& l) { return l.starts_with(want.str()); });
    ASSERT_NE(found, lines.end()) << want.str() << "\n" << summary;
    std::istringstream rest(found->substr(want.str().size()));
    for (const double variance : variances) {
        double shown = 0;
        ASSERT_TRUE(rest >> shown) << *found;
        EXPECT_NEAR(shown, variance, 1e-9 * (1 + variance)) << *found;
    }
    std::string tail;
    std::getline(rest, tail);
    EXPECT_EQ(tail, expected) << *found;
}

TEST(TraitsProgram, RecordsAreTheEffectsTheirLevelsName)
{
    Sandbox box;
    prepare_flock(box);
    box.write("fixed.toml",
              "seed = 4\ntraits = [\"w\", \"z\"]\nmean = [10.0, 0.0]\n"
              "additive = [[0, 0], [0, 0]]\nresidual = [[0, 0], [0, 0]]\n"
              "recorded_generations = [0, 2]\nthreshold = [[], [0.5]]\n"
              "[[fixed]]\nname = \"cg\"\ngroups = 4\nvariance = [[9.0, 1.0], [1.0, 2.0]]\n"
              "[[fixed]]\nname = \"sx\"\ncolumn = \"sex\"\nvalues = { M = [5.0, 1.0] }\n"
              "[[fixed]]\nname = \"fc\"\ncovariate = \"F\"\nslope = [-20.0, 3.0]\n");
    const end_to_end::Run run = run_traits(
        box, {"--model", "fixed.toml", "-o", "rec.tsv", "--effects", "eff.tsv", "--animals", "a"});
    expect_success(run);
    std::map<std::string, std::vector<double>> value_of;
    for (const std::string& line : lines_of(box.read("eff.tsv").value())) {
        const auto cells = cells_of(line);
        if (cells[0] == "effect") continue;
        const bool added = value_of
                               .emplace(cells[0] + '/' + cells[1],
                                        std::vector{std::stod(cells[2]), std::stod(cells[3])})
                               .second;
        EXPECT_TRUE(added) << line;  // each level once
    }
    EXPECT_EQ(value_of.at("sx/M"), (std::vector{5.0, 1.0}));
    EXPECT_EQ(value_of.at("fc/slope"), (std::vector{-20.0, 3.0}));
    expect_fixed_summary(run.err, value_of, "cg", " (expected 9 2)");
    expect_fixed_summary(run.err, value_of, "sx", "");
    // z is a threshold trait: its liability goes to the animals table.
    std::map<std::string, std::string> liability_of;
    const auto animals = lines_of(box.read("a").value());
    const auto animal_header = cells_of(animals.at(0));
    const auto liability_column = std::ranges::find(animal_header, "liability_z");
    ASSERT_NE(liability_column, animal_header.end());
    for (const std::string& line : animals)
        liability_of[cells_of(line)[0]] =
            cells_of(line).at(static_cast<std::size_t>(liability_column - animal_header.begin()));
    const auto records = lines_of(box.read("rec.tsv").value());
    ASSERT_EQ(cells_of(records.at(0)),
              (std::vector<std::string>{"animal", "sire", "dam", "generation", "record", "cg", "sx",
                                        "fc", "w", "z"}));
    std::size_t groups_seen = 0;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const auto cells = cells_of(records[k]);
        const double f = std::stod(cells[7]);
        const auto& cg = value_of.at("cg/" + cells[5]);
        const auto& sx = value_of.at("sx/" + cells[6]);
        EXPECT_NEAR(std::stod(cells[8]), 10.0 + cg[0] + sx[0] - 20.0 * f, 1e-9) << records[k];
        const double liability = cg[1] + sx[1] + 3.0 * f;
        EXPECT_NEAR(std::stod(liability_of.at(cells[0])), liability, 1e-9) << records[k];
        EXPECT_EQ(cells[9], liability > 0.5 ? "1" : "0") << records[k];
        groups_seen += cells[5].starts_with("1:");
    }
    EXPECT_GT(groups_seen, 0u);
}

// Whether a cell is a whole number written as one: digits only.
bool whole_number(const std::string& cell)
{
    return !cell.empty() && std::ranges::all_of(cell, [](char c) { return c >= '0' && c <= '9'; });
}

// Every animal's age, from the records table (its sixth column) or from
// data.txt through ids.txt, each animal's records agreeing on one.
std::map<std::string, std::string> ages_by_animal(const Sandbox& box, const NumericData* data)
{
    std::map<std::string, std::string> age_of, name_of;
    const auto add = [&](const std::string& animal, const std::string& age) {
        EXPECT_EQ(age_of.try_emplace(animal, age).first->second, age) << animal;
    };
    if (data == nullptr) {
        for (const std::string& line : lines_of(box.read("rec.tsv").value()))
            if (!line.starts_with("animal\t")) add(cells_of(line)[0], cells_of(line).at(5));
        return age_of;
    }
    for (const std::string& line : lines_of(box.read("num/ids.txt").value()))
        name_of[fields_of(line).at(0)] = fields_of(line).at(1);
    for (const auto& row : data->rows)
        add(name_of.at(row.at(data->position("animal"))), row.at(data->position("wa")));
    return age_of;
}

// An age covariate on the flock: each animal's age is a whole number of the
// range, all of a small range reached, their mean within 4 standard errors
// of the range's middle; each record is the one of the model without the
// effect plus slope times the age, every breeding value and effect as it
// was; data.txt in both layouts holds the same ages, and the parameter
// files fit them as a covariate.
TEST(TraitsProgram, AgeCovariateReadsBack)
{
    Sandbox box;
    prepare_flock(box);
    expect_success(run_traits(
        box, {"--model", "model.toml", "-o", "plain.tsv", "--animals", "plain_animals.tsv"}));
    const auto plain = lines_of(box.read("plain.tsv").value());
    const double slope[2] = {0.9, -0.01};
    const struct {
        const char* what;
        int from, to;
    } cases[] = {{"weaning days", 160, 250},
                 {"a small range", 3, 7},
                 {"from birth", 0, 1},
                 {"one age", 42, 42},
                 {"the oldest", 99995, 100000}};
    for (const auto& [what, from, to] : cases) {
        SCOPED_TRACE(what);
        const std::string range = std::to_string(from) + ", " + std::to_string(to);
        box.write("age.toml", kModel + "[[fixed]]\nname = \"wa\"\ncovariate = \"age\"\nage = [" +
                                  range + "]\nslope = [0.9, -0.01]\n");
        const end_to_end::Run run =
            run_traits(box, {"--model", "age.toml", "-o", "rec.tsv", "--animals", "animals.tsv",
                             "--effects", "eff.tsv"});
        expect_success(run);
        EXPECT_NE(run.err.find("# fixed effect wa: covariate age " + std::to_string(from) + " to " +
                               std::to_string(to) + ", slope 0.9 -0.01\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(box.read("animals.tsv"), box.read("plain_animals.tsv"));
        EXPECT_EQ(box.read("eff.tsv"), "effect\tlevel\tweight\tfat\nwa\tslope\t0.9\t-0.01\n");
        const auto records = lines_of(box.read("rec.tsv").value());
        ASSERT_EQ(records.size(), plain.size());
        EXPECT_EQ(records[0], "animal\tsire\tdam\tgeneration\trecord\twa\tweight\tfat");
        for (std::size_t k = 1; k < records.size(); ++k) {
            const auto cells = cells_of(records[k]), before = cells_of(plain[k]);
            ASSERT_TRUE(whole_number(cells.at(5))) << records[k];
            EXPECT_EQ(cells[0] + cells[4], before[0] + before[4]);
            for (std::size_t t = 0; t < 2; ++t) {
                const double expected = std::stod(before[5 + t]) + slope[t] * std::stod(cells[5]);
                EXPECT_NEAR(std::stod(cells[6 + t]), expected, 1e-9 * (1 + std::abs(expected)))
                    << records[k];
            }
        }
        const auto age_of = ages_by_animal(box, nullptr);
        double sum = 0;
        std::map<long, std::size_t> seen;
        for (const auto& [animal, text] : age_of) {
            const long age = std::stol(text);
            EXPECT_TRUE(age >= from && age <= to) << animal << " " << age;
            sum += static_cast<double>(age);
            ++seen[age];
        }
        const auto n = static_cast<double>(age_of.size()), ages = to - from + 1.0;
        if (ages <= 100) {
            EXPECT_EQ(seen.size(), static_cast<std::size_t>(ages));
        }
        EXPECT_NEAR(sum / n, (from + to) / 2.0, 4 * std::sqrt((ages * ages - 1) / 12 / n) + 1e-12);
        for (const char* layout : {"wide", "long"}) {
            SCOPED_TRACE(layout);
            expect_success(run_traits(box, {"--model", "age.toml", "--numeric", "num",
                                            "--numeric-layout", layout, "-o", "rec.tsv"}));
            const NumericData data = read_numeric(box);
            ASSERT_EQ(ages_by_animal(box, &data), age_of);
            const auto blupf90 = lines_of(box.read("num/blupf90.par").value());
            const auto effect = std::ranges::find_if(
                blupf90, [](const std::string& l) { return l.ends_with("# wa"); });
            const auto wombat = lines_of(box.read("num/wombat.par").value());
            if (std::string(layout) == "wide") {
                ASSERT_NE(effect, blupf90.end());
                const auto fields = fields_of(*effect);
                EXPECT_EQ(data.columns.at(std::stoul(fields.at(0)) - 1), "wa");
                EXPECT_EQ(fields.at(2) + ' ' + fields.at(3), "1 cov");
            } else {
                EXPECT_NE(std::ranges::find(wombat, "  COV wa(1)"), wombat.end());
                // WOMBAT stops at an age of 0 unless told it is a value.
                EXPECT_NE(std::ranges::find(wombat, "  COVZER wa(1) FIT"), wombat.end());
                EXPECT_NE(std::ranges::find(wombat, "  wa"), wombat.end());  // no levels
            }
        }
    }
}

}  // namespace

namespace {

// A herd book with a herd column: founders in three herds, offspring in
// theirs, one herd missing, and a dam named only as a parent.
std::string herd_book()
{
    std::string text = "id,sire,dam,herd\n";
    for (int k = 0; k < 12; ++k)
        text += "f" + std::to_string(k) + ",,," + "h" + std::to_string(k % 3) + "\n";
    for (int k = 0; k < 24; ++k)
        text += "o" + std::to_string(k) + ",f" + std::to_string(k % 6) + "," +
                (k == 5 ? "stray" : "f" + std::to_string(6 + k % 6)) + "," +
                (k == 7 ? "" : "h" + std::to_string(k % 4)) + "\n";
    return text;
}

// The herd's levels read back: the records table names each animal's herd
// from the pedigree ("NA" for the missing one and the dam without a row),
// --effects gives each level's value (the given one where given), a record
// is its value without the herd plus that value, every other draw
// unchanged, and data.txt codes the levels 1.. in order of first appearance.
TEST(TraitsProgram, HerdColumnLevelsReadBack)
{
    Sandbox box;
    const std::string head = "seed = 8\ntraits = [\"w\", \"z\"]\nmean = [10.0, 1.0]\n"
                             "additive = [[4.0, 0.5], [0.5, 1.0]]\nresidual = [[2.0, 0], [0, 1]]\n";
    box.write("ped.csv", herd_book());
    box.write("plain.toml", head);
    box.write("herd.toml", head +
                               "[[fixed]]\nname = \"hd\"\ncolumn = \"HERD\"\n"
                               "variance = [[9.0, 1.0], [1.0, 2.0]]\nvalues = { h3 = [5, -1] }\n");
    expect_success(run_traits(box, {"--model", "plain.toml", "-o", "plain.tsv", "ped.csv"}));
    expect_success(run_traits(box, {"--model", "herd.toml", "-o", "rec.tsv", "--effects", "eff.tsv",
                                    "--numeric", "num", "ped.csv"}));
    std::map<std::string, std::string> herd_of{{"stray", "NA"}};
    for (const std::string& line : lines_of(herd_book()))
        if (!line.starts_with("id,")) {
            const std::string herd = line.substr(line.rfind(',') + 1);
            herd_of[line.substr(0, line.find(','))] = herd.empty() ? "NA" : herd;
        }
    std::map<std::string, std::vector<double>> value_of;
    for (const std::string& line : lines_of(box.read("eff.tsv").value())) {
        const auto cells = cells_of(line);
        if (cells[0] == "hd") value_of[cells[1]] = {std::stod(cells[2]), std::stod(cells[3])};
    }
    EXPECT_EQ(value_of.size(), 5u);  // h0 .. h3 and NA
    EXPECT_EQ(value_of.at("h3"), (std::vector{5.0, -1.0}));
    const auto plain = lines_of(box.read("plain.tsv").value());
    const auto records = lines_of(box.read("rec.tsv").value());
    ASSERT_EQ(records.size(), plain.size());
    ASSERT_EQ(records.size(), herd_of.size() + 1);
    std::vector<std::string> first_seen;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const auto cells = cells_of(records[k]), before = cells_of(plain[k]);
        ASSERT_EQ(cells.size(), 8u);
        EXPECT_EQ(cells[0], before[0]);
        EXPECT_EQ(cells[5], herd_of.at(cells[0])) << records[k];
        for (std::size_t t = 0; t < 2; ++t)
            EXPECT_NEAR(std::stod(cells[6 + t]),
                        std::stod(before[5 + t]) + value_of.at(cells[5])[t], 1e-9)
                << records[k];
        if (std::ranges::find(first_seen, cells[5]) == first_seen.end())
            first_seen.push_back(cells[5]);
    }
    const NumericData data = read_numeric(box);
    ASSERT_EQ(data.rows.size(), records.size() - 1);
    for (std::size_t k = 0; k < data.rows.size(); ++k) {
        const std::string herd = cells_of(records[k + 1])[5];
        const auto code = std::ranges::find(first_seen, herd) - first_seen.begin() + 1;
        EXPECT_EQ(data.rows[k].at(data.position("hd")), std::to_string(code)) << herd;
    }
    const auto blupf90 = lines_of(box.read("num/blupf90.par").value());
    const auto effect =
        std::ranges::find_if(blupf90, [](const std::string& l) { return l.ends_with("# hd"); });
    ASSERT_NE(effect, blupf90.end());
    EXPECT_EQ(fields_of(*effect).at(2), "5");
}

}  // namespace
