// The reader of "parpop": layouts that must read the same record, and the
// exact message of every refusal.
#include <gtest/gtest.h>

#include <string>

#include "common/failure.h"
#include "design/parameter_file.h"

namespace pedsim {
namespace {

const design::Parameters example{3, 2, 3, 4, 2, 2, 3, 123};

std::string refusal(const std::string& text)
{
    try {
        design::parse_parameters(text);
    } catch (const common::Failure& failure) {
        EXPECT_EQ(failure.status(), common::ExitStatus::input_refused);
        return failure.what();
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

TEST(ParameterFile, LayoutsThatReadTheSameRecord)
{
    const char* layouts[] = {
        "3 2 3 4 2 2 3\n123\n",
        "3 2 3\n4 2\n2 3\n123",                // counts over several lines, no final line end
        "3 2 3 4 2 2 3 99 notes here\n123\n",  // the rest of the seventh's line is ignored
        "3 2 3 4 2 2 3\n\n  \t\n123 the seed\nmore notes\n",
        "3,2,3,4,2,2,3\n123,\n",
        "3, 2 ,3,\t4,2 , 2,3\n123\n",
        "3,\n2,3,4,2,2,3\n123\n",  // a comma before a line end only ends the item
        "3 2 3 4 2 2 3\r\n\r\n123\r\n",
        "+3 2 3 +4 2*2 3\n+123\n",
        "3 2 3 4 2 2 5*3\n123\n",  // a repeat may supply more than is needed
        "3 2 3 4 2\n2 3, 7, x\n1*123 trailing\n",
    };
    for (const char* text : layouts) EXPECT_EQ(design::parse_parameters(text), example) << text;
}

TEST(ParameterFile, SeedOfZeroOrLessAndNegativeCountsAreRead)
{
    EXPECT_EQ(design::parse_parameters("3 2 3 4 2 2 3\n0\n").iseed, 0);
    EXPECT_EQ(design::parse_parameters("3 2 3 4 2 2 3\n-2147483648\n").iseed, -2147483647 - 1);
    EXPECT_EQ(design::parse_parameters("-1 2 3 4 2 2 2147483647\n5\n").noffp, 2147483647);
}

TEST(ParameterFile, EndOfFileBeforeAnItem)
{
    EXPECT_EQ(refusal(""), "parpop: end of file before item 1 (ngen)");
    EXPECT_EQ(refusal("3 2 3\n4\n"), "parpop: end of file before item 5 (nsirep)");
    const std::string seed_missing =
        "parpop: end of file before item 8 (iseed); the seed must stand on a line after the one "
        "holding the seventh count";
    EXPECT_EQ(refusal("3 2 3 4 2 2 3\n\n  \n"), seed_missing);
    EXPECT_EQ(refusal("3 2 3 4 2 2 3 123\n"),
              seed_missing);  // a seed on the counts' line is not read
}

TEST(ParameterFile, ItemsThatAreNotIntegers)
{
    EXPECT_EQ(refusal("3 2 3 4 3.5 2 3\n1\n"), "parpop: item 5 (nsirep) \"3.5\" is not an integer");
    EXPECT_EQ(refusal("3 2 3 4 2 2 3\nseed\n"),
              "parpop: item 8 (iseed) \"seed\" is not an integer");
    EXPECT_EQ(refusal("3 - 3 4 2 2 3\n1\n"), "parpop: item 2 (nsire) \"-\" is not an integer");
    EXPECT_EQ(refusal("3 2 3 4 2 2 1e3\n1\n"), "parpop: item 7 (noffp) \"1e3\" is not an integer");
    EXPECT_EQ(refusal("3 \x01\xff 3 4 2 2 3\n1\n"),
              "parpop: item 2 (nsire) \"\\x01\\xff\" is not an integer");
    EXPECT_EQ(refusal(std::string(60, '7') + "x\n"),
              "parpop: item 1 (ngen) \"" + std::string(40, '7') + "...\" is not an integer");
}

TEST(ParameterFile, IntegersOutside32Bits)
{
    EXPECT_EQ(refusal("2147483648 2 3 4 2 2 3\n1\n"),
              "parpop: item 1 (ngen) \"2147483648\" is outside the 32-bit integer range");
    EXPECT_EQ(refusal("3 2 3 4 2 2 3\n-2147483649\n"),
              "parpop: item 8 (iseed) \"-2147483649\" is outside the 32-bit integer range");
    EXPECT_EQ(
        refusal("3 2 3 99999999999999999999999 2 2 3\n1\n"),
        "parpop: item 4 (noff) \"99999999999999999999999\" is outside the 32-bit integer range");
}

TEST(ParameterFile, EmptyItemsAndSlashes)
{
    EXPECT_EQ(refusal("3 2,,3 4 2 2 3\n1\n"),
              "parpop: item 3 (ndps) is empty (two commas with nothing between)");
    EXPECT_EQ(refusal(",3 2 3 4 2 2 3\n1\n"),
              "parpop: item 1 (ngen) is empty (a comma with no value before it)");
    EXPECT_EQ(refusal("3 2 3 4 2 2 3\n,1\n"),
              "parpop: item 8 (iseed) is empty (a comma with no value before it)");
    EXPECT_EQ(refusal("3 2 3 /\n"),
              "parpop: item 4 (noff): a slash ends the record early; write all eight values");
    EXPECT_EQ(refusal("3 2 3 4 2 2 3\n/\n"),
              "parpop: item 8 (iseed): a slash ends the record early; write all eight values");
    EXPECT_EQ(design::parse_parameters("3 2 3 4 2 2 3 / notes\n123 / notes\n"),
              example);  // ignored parts
}

TEST(ParameterFile, BadRepeatCounts)
{
    EXPECT_EQ(refusal("0*3 2 3 4 2 2 3\n1\n"),
              "parpop: item 1 (ngen) \"0*3\" has no valid repeat count before '*'");
    EXPECT_EQ(refusal("-2*3 2 3 4 2 2 3\n1\n"),
              "parpop: item 1 (ngen) \"-2*3\" has no valid repeat count before '*'");
    EXPECT_EQ(refusal("3 2*\n"), "parpop: item 2 (nsire) \"2*\" repeats an empty value");
    EXPECT_EQ(refusal("3 2*x 4 2 2 3\n1\n"), "parpop: item 2 (nsire) \"2*x\" is not an integer");
}

}  // namespace
}  // namespace pedsim
