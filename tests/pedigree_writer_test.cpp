// The pedigree file's line layout and the renumbered text of a small run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "design/parameter_checks.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace pedsim {
namespace {

std::string line(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d)
{
    char out[sim::pedigree_line_length];
    const char* end = sim::format_pedigree_line(out, a, b, c, d);
    EXPECT_EQ(end, out + sim::pedigree_line_length);
    return {out, sim::pedigree_line_length};
}

TEST(PedigreeLine, FieldsAreRightAlignedInSixCharacters)
{
    EXPECT_EQ(line(1, 0, 0, -2), "     1      0      0     -2\n");
    EXPECT_EQ(line(999999, 123456, 7, 0), "999999 123456      7      0\n");
    EXPECT_EQ(line(-99999, -1, 10, 2), "-99999     -1     10      2\n");
}

TEST(PedigreeLine, EveryValueThatFitsIsWrittenAsPrintfWouldWriteIt)
{
    char line[sim::pedigree_line_length];
    char expected[16];
    for (std::int32_t v = -99999; v <= 999999; ++v) {
        sim::format_pedigree_line(line, v, v, v, v);
        std::snprintf(expected, sizeof expected, "%6d", v);
        for (std::size_t column : {0, 7, 14, 21})
            if (std::string_view(line + column, 6) != expected) {
                ADD_FAILURE() << v << " is written \"" << std::string_view(line + column, 6)
                              << "\" at column " << column;
                return;
            }
    }
}

TEST(PedigreeLine, ValuesThatDoNotFitAreAsterisks)
{
    EXPECT_EQ(line(1000000, -100000, 2147483647, -2147483647 - 1), "****** ****** ****** ******\n");
}

TEST(PedigreeText, SmallRunIsNumberedByLine)
{
    const design::Parameters p{3, 2, 3, 4, 2, 2, 3, 12345};
    ASSERT_EQ(design::check_parameters(p), design::Verdict::runs);
    random::UniformGenerator generator;
    const std::string text = sim::pedigree_text(sim::simulate(p, generator), p.ngen);
    ASSERT_EQ(text.size(), 42 * sim::pedigree_line_length);
    EXPECT_EQ(text.substr(0, sim::pedigree_line_length), "     1      0      0     -2\n");
    // Line 9: the first animal of generation 2, sire 1 and dam 3.
    EXPECT_EQ(text.substr(8 * sim::pedigree_line_length, sim::pedigree_line_length),
              "     9      1      3     -1\n");
    EXPECT_EQ(text.substr(41 * sim::pedigree_line_length), "    42     30     27      2\n");
}

TEST(PedigreeText, BlocksOfManyLinesAreWrittenWhole)
{
    // More lines than one output block holds.
    const design::Parameters p{10, 200, 4, 3, 20, 10, 5, 3};
    ASSERT_EQ(design::check_parameters(p), design::Verdict::runs);
    random::UniformGenerator generator;
    const sim::Tables t = sim::simulate(p, generator);
    const std::string text = sim::pedigree_text(t, p.ngen);
    ASSERT_EQ(text.size(), static_cast<std::size_t>(t.animal_count) * sim::pedigree_line_length);
    for (std::size_t r = 0; r < static_cast<std::size_t>(t.animal_count); ++r) {
        const std::string expected_number = std::to_string(r + 1);
        const std::string field = text.substr(r * sim::pedigree_line_length, 6);
        ASSERT_EQ(field, std::string(6 - expected_number.size(), ' ') + expected_number);
    }
}

}  // namespace
}  // namespace pedsim
