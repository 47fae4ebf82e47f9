// The pedigree reader of pedsim-stats: its refusals, the layouts that must
// read as the same pedigree, the order it puts animals in and the
// generations it derives.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "common/failure.h"
#include "design/parameter_file.h"
#include "pedigree/name_table.h"
#include "pedigree/pedigree_reader.h"
#include "shell/input_files.h"
#include "shell/parallel.h"
#include "shell/process_setup.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace {

using pedsim::pedigree::Pedigree;
using pedsim::pedigree::read_pedigree;
using pedsim::pedigree::unknown;

std::string name_of(const Pedigree& p, pedsim::pedigree::AnimalIndex parent)
{
    return parent == unknown ? "?" : p.names[static_cast<std::size_t>(parent)];
}

// Parents stand before their offspring and the vectors agree in size.
void expect_parents_first(const Pedigree& p)
{
    ASSERT_EQ(p.sire.size(), p.size());
    ASSERT_EQ(p.dam.size(), p.size());
    ASSERT_EQ(p.generation.size(), p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_LT(p.sire[i], static_cast<pedsim::pedigree::AnimalIndex>(i)) << p.names[i];
        EXPECT_LT(p.dam[i], static_cast<pedsim::pedigree::AnimalIndex>(i)) << p.names[i];
    }
}

// Each animal's sire, dam and generation, by name.
std::map<std::string, std::tuple<std::string, std::string, std::int64_t>> by_name(const Pedigree& p)
{
    std::map<std::string, std::tuple<std::string, std::string, std::int64_t>> animals;
    for (std::size_t i = 0; i < p.size(); ++i)
        animals[p.names[i]] = {name_of(p, p.sire[i]), name_of(p, p.dam[i]), p.generation[i]};
    return animals;
}

TEST(StatsReader, RefusesEachBrokenRuleNamingTheLine)
{
    std::string loop_of_ten;  // a0's sire is a1, ..., a9's sire is a0
    for (int k = 0; k < 10; ++k)
        loop_of_ten += "a" + std::to_string(k) + " a" + std::to_string((k + 1) % 10) + " 0\n";
    const struct {
        std::string text, message, columns = {};  // columns: as --columns gives them
    } cases[] = {
        {"A 0\n", "line 1: 2 fields; a row gives an animal, its sire and its dam"},
        {"A 0 0\nB 0 0 1 2 3\n", "line 2: more than 4 fields where line 1 has 3"},
        {"A 0 0\nB 0 0\nC;0;0\n", "line 3: 1 field; a row gives an animal, its sire and its dam; "
                                  "this line holds semicolons but the file's first lines make it "
                                  "blank-separated: use one separator on every line"},
        {"a" + std::string(2000, ',') + "\n", "line 1: more than 1000 fields; is this a pedigree?"},
        {"id sire dam\nA 0 0\nid sire dam\nB 0 0\n",
         "line 3: a header in the middle of the file (every field is a column name)"},
        {"A 0 0\nAnimal Sire Dam\n", "line 2: a header in the middle of the file"},
        {"\xFF\xFE"
         "A\0 \0"
         "0\0",
         "encoded as UTF-16; save it as UTF-8 (iconv -f UTF-16 -t UTF-8)"},
        {"\xFE\xFF\0A", "encoded as UTF-16; save it as UTF-8"},
        {std::string("\xFF\xFE\0\0A\0\0\0", 8), "encoded as UTF-32; save it as UTF-8"},
        {"A 0 0 1\nB 0 0 x\n", "line 2: generation \"x\" is not an integer"},
        // Found by fuzzing: row names would leave two columns.
        {",dam\nA,,\nB,A,\n", "line 2: 3 fields where line 1 has 2"},
        {"id sire dam sex\nA 0 0 F\nB 0 0 F\nC A B M\n",
         "line 4: \"A\" is used as a sire here but recorded as female on line 2"},
        {"id,sire,dam,sex\nA,,,M\nB,,,male\nC,A,B,1\n",
         "line 4: \"B\" is used as a dam here but recorded as male on line 3"},
        // A first line taken for a header is a row after all: its sex comes first too.
        {"c1 SIRE1 DAM1 F\nc2 SIRE1 DAM1 M\nSIRE1 0 0 M\nDAM1 0 0 F\nx c1 c2 M\n",
         "line 5: \"c1\" is used as a sire here but recorded as female on line 1",
         "id=1,sire=2,dam=3,sex=4"},
        {"# note\nA 0 0\nB 0 0 1\n", "line 3: 4 fields where line 2 has 3"},
        {"id sire dam gen\nA 0 0\n", "line 2: 3 fields where line 1 has 4"},
        {"A 0 0 2.5\n", "line 1: generation \"2.5\" is not an integer"},
        {"A 0 0 3000000000\n",
         "line 1: generation \"3000000000\" is outside the 32-bit integer range"},
        {"NA 0 0\n", "line 1: the animal's identifier \"NA\" is a mark of an unknown parent"},
        {",1,2\n", "line 1: the animal's identifier \"\" is a mark of an unknown parent"},
        {"7 0 0\n\n7.0 0 0\n", "line 3: animal \"7\" is listed twice (lines 1 and 3)"},
        {"1 0 0\n2 0 0\n1 0 0\n", "line 3: animal \"1\" is listed twice (lines 1 and 3)"},
        {"2 0 0\n2 0 0\n", "line 2: animal \"2\" is listed twice (lines 1 and 2)"},
        // Refused on its second row, before a later row that would be refused too.
        {"1 0 0\n1 0 0\nx\n", "line 2: animal \"1\" is listed twice (lines 1 and 2)"},
        {"x a 0\na 0 0\na 0 0\n", "line 3: animal \"a\" is listed twice (lines 2 and 3)"},
        {std::string("1 0 0\n2 0\0 0\n3 1 2\n", 18), "line 2: a NUL byte; a pedigree is text"},
        {std::string("# \0\n1 0 0\n", 10), "line 1: a NUL byte"},
        {"A A 0\n", "line 1: animal \"A\" is its own sire"},
        // Names are quoted as in every program's messages: other bytes than
        // printable ASCII as \xNN, so that the message stays one line.
        {"A\x01 0 0\nA\x01 0 0\n", "line 2: animal \"A\\x01\" is listed twice (lines 1 and 2)"},
        {"B\xC3\xA9 B\xC3\xA9 0\n", "line 1: animal \"B\xC3\xA9\" is its own sire"},
        {"A 0 A\n", "line 1: animal \"A\" is its own dam"},
        {"A B x\nB C y\nC A z\n",
         "line 1: animal \"A\" is its own ancestor: \"A\" -> \"B\" -> \"C\" -> \"A\""},
        {loop_of_ten, "line 1: animal \"a0\" is its own ancestor: \"a0\" -> \"a1\" -> \"a2\" -> "
                      "\"a3\" -> ... (2 more) -> \"a6\" -> \"a7\" -> \"a8\" -> \"a9\" -> \"a0\""},
        {"C A B\nD B E\n", "line 2: \"B\" is used as a sire here and as a dam on line 1 (give "
                           "--selfing for a pedigree where an individual may be a sire and a dam)"},
        {"C A B\nD E A\n", "line 2: \"A\" is used as a dam here and as a sire on line 1 (give "
                           "--selfing for a pedigree where an individual may be a sire and a dam)"},
        {"C A A\n", "line 1: \"A\" is used as a dam here and as a sire on line 1 (give --selfing"},
        {"\"A 0 0\n", "line 1: a double quote is not closed"},
        {"\"A\"x 0 0\n", "line 1: text follows a closing double quote without a blank"},
        {"\"A\" x,0,0\n", "line 1: text follows a closing double quote before the next comma"},
        {"animal sire dam\n\n# nothing else\n", "no animal: the file holds no row"},
        {"", "no animal: the file holds no row"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        pedsim::pedigree::ReadingRules rules;
        if (!c.columns.empty()) rules.columns = pedsim::pedigree::read_column_choice(c.columns);
        try {
            read_pedigree(c.text, "ped.txt", rules);
            ADD_FAILURE() << "read without a refusal";
        } catch (const pedsim::common::Failure& failure) {
            EXPECT_EQ(failure.status(), pedsim::common::ExitStatus::input_refused);
            const std::string message = failure.what();
            EXPECT_TRUE(message.starts_with("ped.txt: " + c.message)) << message;
        }
    }
}

// A herd of `rows` lines, "a<k> s<k % 97> a<k - 1000>" (a founder dam for
// the first thousand), with some lines replaced.
std::string long_herd(std::size_t rows, const std::map<std::size_t, std::string>& replaced)
{
    std::string text;
    for (std::size_t k = 1; k <= rows; ++k) {
        const auto line = replaced.find(k);
        text += line != replaced.end()
                    ? line->second
                    : "a" + std::to_string(k) + " s" + std::to_string(k % 97) + " " +
                          (k > 1000 ? "a" + std::to_string(k - 1000) : std::string("0")) + " " +
                          std::to_string(k / 1000);
        text += '\n';
    }
    return text;
}

// Past its first few thousand rows the reader enters names on a thread
// beside the one that splits the lines: the first fault of the file is still
// the one refused, whichever of them meets it first, and the pedigree is the
// one read on a single thread (within a chunk, where no thread starts).
TEST(StatsReader, ALongFileReadsAndFailsAsOnOneThread)
{
    constexpr std::size_t rows = 30000;
    const std::string duplicate = "a7 s1 0 0", short_row = "a8 s1", bad_time = "a20000 s1 0 x";
    const struct {
        std::map<std::size_t, std::string> replaced;
        std::string message;
    } cases[] = {
        {{{20000, duplicate}}, "line 20000: animal \"a7\" is listed twice (lines 7 and 20000)"},
        {{{3000, duplicate}}, "line 3000: animal \"a7\" is listed twice (lines 7 and 3000)"},
        {{{20000, duplicate}, {20001, short_row}},
         "line 20000: animal \"a7\" is listed twice (lines 7 and 20000)"},
        {{{20000, short_row}, {20001, duplicate}}, "line 20000: 2 fields;"},
        {{{29999, short_row}}, "line 29999: 2 fields;"},
        // A time is read with the names, on the thread that enters them.
        {{{20000, bad_time}}, "line 20000: generation \"x\" is not an integer"},
        {{{20000, bad_time}, {20001, short_row}}, "line 20000: generation \"x\" is not an integer"},
        {{{20000, short_row}, {20001, bad_time}}, "line 20000: 2 fields;"},
        {{{20000, "a7 s1 0 x"}}, "line 20000: animal \"a7\" is listed twice (lines 7 and 20000)"},
        {{{3000, bad_time}}, "line 3000: generation \"x\" is not an integer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            read_pedigree(long_herd(rows, c.replaced), "ped.txt");
            ADD_FAILURE() << "read without a refusal";
        } catch (const pedsim::common::Failure& failure) {
            EXPECT_TRUE(std::string(failure.what()).starts_with("ped.txt: " + c.message))
                << failure.what();
        }
    }
    const std::string herd = long_herd(rows, {});
    const Pedigree beside = read_pedigree(herd, "ped.txt");
    std::optional<Pedigree> alone;
    pedsim::shell::for_each_chunk(1, 1, [&](std::size_t, std::size_t, std::size_t) {
        alone = read_pedigree(herd, "ped.txt");
    });
    ASSERT_EQ(beside.size(), rows + 97);
    EXPECT_EQ(beside.names, alone->names);
    EXPECT_EQ(beside.sire, alone->sire);
    EXPECT_EQ(beside.dam, alone->dam);
    EXPECT_EQ(beside.generation, alone->generation);
    EXPECT_EQ(by_name(beside).at("a29000"), std::make_tuple("s94", "a28000", std::int64_t{29}));
}

TEST(StatsReader, ReadsEveryLayoutAsTheSamePedigree)
{
    const std::string plain = "1 0 0\n2 0 0\n12 1 2\n4 12 2\n";
    const Pedigree reference = read_pedigree(plain, "plain");
    const struct {
        const char* layout;
        std::string text;
        std::size_t founders_added;
    } cases[] = {
        {"tabs, runs of blanks, notes", "# a note\n\n1\t0 \t 0\n  2   0 0  \n12 1 2\n4 12 2", 0},
        {"byte order mark, commas, empty unknowns",
         "\xEF\xBB\xBF"
         "1,,\n2 , , \n12,1,2\n4,12,2\n",
         0},
        {"R's quotes and header",
         "\"id\" \"sire\" \"dam\"\n\"1\" NA NA\n\"2\" NA NA\n"
         "\"12\" \"1\" \"2\"\n\"4\" \"12\" \"2\"\n",
         0},
        {"pandas floats and header",
         "animal,Father,MOTHER\n1.0,,\n2.0,,\n12.0,1.0,2.0\n"
         "4,12.00,2\n",
         0},
        {"CR-LF and . - unknowns", "1 . -\r\n2 - .\r\n12 1 2\r\n4 12 2\r\n", 0},
        {"shuffled", "4 12 2\n12 1 2\n2 0 0\n1 0 0\n", 0},
        {"parents without a row", "12 1 2\n4 12 2\n", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        const Pedigree p = read_pedigree(c.text, "ped.txt");
        expect_parents_first(p);
        EXPECT_EQ(by_name(p), by_name(reference));
        EXPECT_EQ(p.founders_added, c.founders_added);
        EXPECT_FALSE(p.generation_given);
    }
}

pedsim::pedigree::ReadingRules header_rule(bool header)
{
    pedsim::pedigree::ReadingRules rules;
    rules.header = header;
    return rules;
}

// The first line is a header when all its fields are header words, or hold
// the animal's, sire's and dam's among others; a first line of data whose
// parents merely contain "sire" and "dam" stays data. What the reader could
// not know, it says on standard error.
TEST(StatsReader, TellsAHeaderFromAFirstRow)
{
    const struct {
        const char* what;
        std::string text;
        pedsim::pedigree::ReadingRules rules;
        std::size_t animals;
        std::string note;  // the start of the one note, or none
    } cases[] = {
        {"parents named SIRE1 and DAM1", "c1 SIRE1 DAM1\nc2 SIRE1 DAM2\nx c1 c2\n", {}, 6, ""},
        {"a parent named Adams", "c1 Adams Madam\nc2 Adams Madam\n", {}, 4, ""},
        {"header words in any case and order", "ID,Dam,SIRE,Year\nA,,,1\nB,A,0,2\n", {}, 2, ""},
        {"header words among other columns", "herd id sire dam breed\nh A 0 0 x\n", {}, 1, ""},
        {"the old rule: parents named nowhere else", "ID SireID DamID\nA 0 0\nB 0 0\n", {}, 2, ""},
        {"an unlisted word",
         "kode,pere,mere\nA,,\nB,A,\n",
         {},
         5,
         "ped.txt: line 1: read as animal \"kode\", whose parents \"pere\" and \"mere\" are "
         "named nowhere else; if it is a header, give --header"},
        {"--header", "kode,pere,mere\nA,,\nB,A,\n", header_rule(true), 2, ""},
        {"--no-header", "id sire dam\nA 0 0\n", header_rule(false), 4, ""},
        {"a fourth column of text",
         "A 0 0 M h1\nB 0 0 F h2\n",
         {},
         2,
         "ped.txt: line 1: columns 4, 5 ignored; without a header a row gives animal, sire, dam "
         "and a generation or birth year (--columns names other columns)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Pedigree p = read_pedigree(c.text, "ped.txt", c.rules);
        EXPECT_EQ(p.size(), c.animals);
        EXPECT_EQ(p.notes.size(), c.note.empty() ? 0u : 1u);
        if (!p.notes.empty()) {
            EXPECT_TRUE(p.notes[0].starts_with(c.note)) << p.notes[0];
        }
    }
}

TEST(StatsReader, KeepsTheInputOrderWhereParentsAllowIt)
{
    const struct {
        std::string text;
        std::vector<std::string> order;
    } cases[] = {
        // A parent listed after its offspring moves up to just before it.
        {"x 0 0\nC A B\nD 0 0\nA 0 0\nB 0 0\n", {"x", "A", "B", "C", "D"}},
        // A parent without a row stands just before its first offspring.
        {"D 0 0\nC A B\nE A D\n", {"D", "A", "B", "C", "E"}},
        {"G C D\nC A B\n", {"A", "B", "C", "D", "G"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read_pedigree(c.text, "ped.txt").names, c.order);
    }
}

TEST(StatsReader, DerivesOrReadsGenerations)
{
    const struct {
        std::string text;
        std::map<std::string, std::int64_t> generation;
        bool given;
    } cases[] = {
        // 1 + the latest parent's; an unknown parent does not count.
        {"A 0 0\nB 0 0\nC A B\nD C 0\nE D B\n",
         {{"A", 0}, {"B", 0}, {"C", 1}, {"D", 2}, {"E", 3}},
         false},
        // An added parent is a founder of generation 0.
        {"C A B\nE C D\n", {{"A", 0}, {"B", 0}, {"C", 1}, {"D", 0}, {"E", 2}}, false},
        // Read as given, birth years too; an added parent comes one before
        // its earliest offspring.
        {"A 0 0 1990\nC A B 1995\nD A B 1992\n",
         {{"A", 1990}, {"B", 1991}, {"C", 1995}, {"D", 1992}},
         true},
        {"id,sire,dam,gen\nC,A,B,-3.0\n", {{"A", -4}, {"B", -4}, {"C", -3}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const Pedigree p = read_pedigree(c.text, "ped.txt");
        std::map<std::string, std::int64_t> generation;
        for (std::size_t i = 0; i < p.size(); ++i) generation[p.names[i]] = p.generation[i];
        EXPECT_EQ(generation, c.generation);
        EXPECT_EQ(p.generation_given, c.given);
    }
}

TEST(StatsReader, ReadsAPedsimFileInItsOwnOrder)
{
    const pedsim::design::Parameters p = pedsim::design::parse_parameters("3 2 3 4 2 2 3\n12345\n");
    pedsim::random::UniformGenerator generator;
    const std::string text =
        pedsim::sim::pedigree_text(pedsim::sim::simulate(p, generator), p.ngen);
    const Pedigree pedigree = read_pedigree(text, "pedig");
    ASSERT_EQ(pedigree.size(), 42u);
    EXPECT_TRUE(pedigree.generation_given);
    EXPECT_EQ(pedigree.founders_added, 0u);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        int animal = 0, sire = 0, dam = 0, generation = 0;
        ASSERT_EQ(
            std::sscanf(text.c_str() + 28 * i, "%d %d %d %d", &animal, &sire, &dam, &generation),
            4);
        EXPECT_EQ(pedigree.names[i], std::to_string(animal));
        EXPECT_EQ(pedigree.sire[i], sire - 1);  // 0, unknown, becomes -1 too
        EXPECT_EQ(pedigree.dam[i], dam - 1);
        EXPECT_EQ(pedigree.generation[i], generation);
    }
}

}  // namespace

// The name table behind the reader: names of up to 8 bytes are their own
// keys and longer ones are hashed, so names that share their first 8 bytes,
// differ only in length or are a prefix of one another must stay apart, and
// every entry must be found again after the table has grown many times.
TEST(StatsReader, NameTableKeepsEveryNameApartAcrossGrowth)
{
    const std::vector<std::string> tricky = {
        "1",         "12",
        "12345678",  "123456789",
        "123456780", "1234567",
        "A\x01",     "A",
        "abcdefgh",  "abcdefghi",
        "abcdefgh ", "x",
        "\xC3\xA9",  "0123456789012345678901234567890123456789",
    };
    std::vector<std::string> names = tricky;
    for (int k = 0; k < 20000; ++k)  // from 64 slots to 32768: nine growths
        names.push_back((k % 2 == 0 ? "n" : "long-name-") + std::to_string(k));
    pedsim::pedigree::NameTable table;
    for (std::size_t k = 0; k < names.size(); ++k) {
        bool added = false;
        EXPECT_EQ(table.enter(table.keyed(names[k]), added), static_cast<int>(k)) << names[k];
        EXPECT_TRUE(added) << names[k];
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
        bool added = true;
        EXPECT_EQ(table.enter(table.keyed(names[k]), added), static_cast<int>(k)) << names[k];
        EXPECT_FALSE(added) << names[k];
        EXPECT_EQ(table.find(names[k]), static_cast<int>(k)) << names[k];
        EXPECT_EQ(table.name(static_cast<int>(k)), names[k]);
    }
    for (const char* absent : {"123", "1234567890", "abcdefg", "n1", "long-name-0", "B"})
        EXPECT_EQ(table.find(absent), -1) << absent;
}

// Founders first in shorter rows must not mislead the reader's estimate of the rows.
TEST(StatsReader, ReadsRowsGrowingLongerAfterTheFirst)
{
    std::string text;
    for (int k = 0; k < 10000; ++k) text += "f" + std::to_string(k) + " 0 0\n";
    for (int k = 0; k < 40000; ++k)
        text += "o" + std::to_string(k) + " f" + std::to_string(k % 5000 * 2) + " f1" +
                std::string(40, ' ') + "\n";
    const Pedigree p = read_pedigree(text, "ped.txt");
    ASSERT_EQ(p.size(), 50000u);
    EXPECT_EQ(p.names.back(), "o39999");
    EXPECT_EQ(p.names[static_cast<std::size_t>(p.sire.back())], "f9998");
    EXPECT_EQ(p.names[static_cast<std::size_t>(p.dam.back())], "f1");
}

namespace {

// Each animal's value of the first kept column, by name: "-" for none.
std::map<std::string, std::string> kept_by_name(const Pedigree& p)
{
    std::map<std::string, std::string> values;
    const pedsim::pedigree::KeptColumn& column = p.kept.at(0);
    for (std::size_t i = 0; i < p.size(); ++i)
        values[p.names[i]] = column.level.at(i) == pedsim::pedigree::no_level
                                 ? "-"
                                 : column.labels.at(column.level[i]);
    return values;
}

// A column asked for by header name (any case) or number is kept per
// animal, whatever the layout; a missing value and a parent without a row
// have no value; a column the file lacks is marked absent with the reason;
// and a column kept is not called ignored.
TEST(StatsReader, KeepsTheColumnsAskedFor)
{
    using Request = pedsim::pedigree::ColumnRequest;
    const std::map<std::string, std::string> herds = {
        {"A", "h1"}, {"B", "h2"}, {"C", "h1"}, {"D", "-"}, {"X", "-"}};
    const struct {
        const char* what;
        std::string text;
        Request request;
        std::map<std::string, std::string> values;  // empty when absent
        std::string absent;
    } cases[] = {
        {"by name, any case", "id,sire,dam,Herd\nA,,,h1\nB,,,h2\nC,A,B,h1\nD,C,X,NA\n",
         Request{"herd", 0}, herds, ""},
        {"by number, blanks", "A 0 0 1 h1\nB 0 0 1 h2\nC A B 2 h1\nD C X 3 .\n", Request{"", 5},
         herds, ""},
        {"by number after R's row names",
         "id sire dam herd\n1 A 0 0 h1\n2 B 0 0 h2\n3 C A B h1\n4 D C X -\n", Request{"", 4}, herds,
         ""},
        {"a time column, decimals as integers",
         "id;sire;dam;year\nA;;;1.0\nB;;;2\n",
         Request{"year", 0},
         {{"A", "1"}, {"B", "2"}},
         ""},
        {"a name without a header",
         "A 0 0\nB 0 0\n",
         Request{"herd", 0},
         {},
         "it has no header to name its columns by"},
        {"a name the header lacks",
         "id,sire,dam,herd\nA,,,h1\n",
         Request{"farm", 0},
         {},
         "its header has no column \"farm\" (its columns: id, sire, dam, herd)"},
        {"a number beyond the row",
         "A 0 0 h1\n",
         Request{"", 5},
         {},
         "column 5 is beyond the 4 fields of a row"},
        {"a name in a first line that is a row after all",
         "c1 SIRE1 DAM1 h1\nc2 SIRE1 DAM1 h2\n",
         Request{"h1", 0},
         {},
         "its first line is a row, not a header, so no column has a name"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        pedsim::pedigree::ReadingRules rules;
        rules.kept_columns = {c.request};
        const Pedigree p = read_pedigree(c.text, "ped.txt", rules);
        ASSERT_EQ(p.kept.size(), 1u);
        EXPECT_EQ(p.kept[0].absent, c.absent);
        if (c.absent.empty()) {
            EXPECT_EQ(kept_by_name(p), c.values);
            for (const std::string& note : p.notes)
                EXPECT_EQ(note.find("ignored"), std::string::npos) << note;
            EXPECT_EQ(p.layout.find("ignored"), std::string::npos) << p.layout;
        } else {
            EXPECT_TRUE(p.kept[0].level.empty());
        }
        // Without the request the same text reads as the same pedigree,
        // nothing kept.
        const Pedigree plain = read_pedigree(c.text, "ped.txt");
        EXPECT_TRUE(plain.kept.empty());
        EXPECT_EQ(by_name(plain), by_name(p));
    }
}

// A file of `text` in the temporary directory, removed when the object goes.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& text)
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pedsim-in-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write " + pattern);
        ::close(fd);
        path_ = pattern;
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// What reading gives: the text, or the line of its refusal.
std::string outcome(const std::function<std::string()>& read)
{
    try {
        return "text: " + read();
    } catch (const pedsim::common::Failure& failure) {
        return std::string("refused: ") + failure.what();
    }
}

// A regular file is mapped rather than read, and must come out as the read
// text does, refusals included.
TEST(StatsReader, MapsAFileIntoTheTextReadingGives)
{
    const struct {
        std::string text;
        bool refused;
    } cases[] = {
        {"id sire dam\r\na 0 0\r\nb a 0\r\n", false},
        {"", false},
        {"BZh91AY&SY", true},                       // bzip2
        {std::string(70 << 20, 'a') + "\n", true},  // no line end in the first 64 MiB
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        const TemporaryFile file(c.text);
        const std::string mapped =
            outcome([&] { return std::string(pedsim::shell::input_text(file.path()).text()); });
        EXPECT_EQ(mapped, outcome([&] { return pedsim::shell::read_input(file.path()); }));
        EXPECT_EQ(mapped.starts_with("refused: "), c.refused);
    }
}

// A mapped file that another program truncates ends the program in one line
// and the status of a file error; any other SIGBUS still ends it as before.
TEST(StatsReaderDeathTest, AMappedFileThatShrinksEndsTheProgramInOneLine)
{
    // A file each: the first is truncated.
    const TemporaryFile shrinking(std::string(1 << 16, 'a') + "\n"), file("a 0 0\n");
    EXPECT_EXIT(
        {
            const pedsim::shell::InputText input = pedsim::shell::input_text(shrinking.path());
            std::filesystem::resize_file(shrinking.path(), 0);
            const volatile char byte = input.text()[100];
            std::exit(byte == 'a' ? 0 : 5);
        },
        testing::ExitedWithCode(4),
        "^[^\n]*: the file shrank while it was read; run again once nothing is writing it\n$");
    const auto neither_success_nor_guard = [](int status) {
        return !WIFEXITED(status) || (WEXITSTATUS(status) != 0 && WEXITSTATUS(status) != 4);
    };
    EXPECT_EXIT(
        {
            const pedsim::shell::InputText input = pedsim::shell::input_text(file.path());
            std::raise(SIGBUS);
            std::exit(input.text().empty() ? 5 : 0);
        },
        neither_success_nor_guard, "");
}

// The arrays of a large pedigree ask for huge pages (fresh 4 KiB pages cost
// a fault each): the VmFlags of the block's mapping say "hg".
TEST(StatsReader, ALargeBlockAsksForHugePagesWhereTheSystemHasThem)
{
    std::string modes;
    std::getline(std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"), modes);
    if (!pedsim::shell::large_blocks_ask_for_huge_pages() || modes.empty() ||
        modes.find("[never]") != std::string::npos)
        GTEST_SKIP() << "no huge pages to ask for in this build or on this system";
    const std::vector<char> large(std::size_t{4} << 20);
    const auto middle = reinterpret_cast<std::uintptr_t>(large.data() + large.size() / 2);
    std::ifstream smaps("/proc/self/smaps");
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t start = 0, end = 0;
        if (std::sscanf(line.c_str(), "%zx-%zx ", &start, &end) == 2) {
            inside = start <= middle && middle < end;
        } else if (inside && line.starts_with("VmFlags:")) {
            EXPECT_NE((line + " ").find(" hg "), std::string::npos) << line;
            return;
        }
    }
    ADD_FAILURE() << "no mapping holds the block";
}

}  // namespace
