// The one way a failure is raised: its place and message make the line main
// prints, and naming_file places only the failures meant for it.
#include "common/failure.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using pedsim::common::ExitStatus;
using pedsim::common::Failure;
using pedsim::common::Place;

TEST(Failure, PlaceComesBeforeTheMessage)
{
    const struct {
        Place place;
        const char* line;
    } cases[] = {
        {{"", 0}, "what is wrong"},
        {{"", 7}, "what is wrong"},  // a line without a file names nothing
        {{"pedig", 0}, "pedig: what is wrong"},
        {{"herd.csv", 12}, "herd.csv: line 12: what is wrong"},
    };
    for (const auto& c : cases) {
        const Failure failure(ExitStatus::input_refused, c.place, "what is wrong");
        EXPECT_STREQ(failure.what(), c.line);
        EXPECT_EQ(failure.message(), "what is wrong");
    }
}

// naming_file adds its file to an unplaced failure of its status and lets
// every other failure through as it was.
TEST(Failure, NamingFilePlacesOnlyItsOwnUnplacedFailures)
{
    const struct {
        Failure thrown;
        const char* line;
    } cases[] = {
        {Failure(ExitStatus::request_refused, "ngen = 0"), "parpop: ngen = 0"},
        {Failure(ExitStatus::out_of_memory, "too large"), "too large"},
        {Failure(ExitStatus::request_refused, Place{"other", 3}, "x"), "other: line 3: x"},
    };
    for (const auto& c : cases) {
        try {
            pedsim::common::naming_file("parpop", ExitStatus::request_refused,
                                        [&]() -> int { throw c.thrown; });
            ADD_FAILURE() << "nothing thrown";
        } catch (const Failure& failure) {
            EXPECT_STREQ(failure.what(), c.line);
            EXPECT_EQ(failure.status(), c.thrown.status());
        }
    }
}

TEST(Failure, QuotedKeepsAMessageOnOneLine)
{
    EXPECT_EQ(pedsim::common::quoted("3.5"), "\"3.5\"");
    EXPECT_EQ(pedsim::common::quoted("a\nb\xC3\xA9"), "\"a\\x0ab\xC3\xA9\"");
    EXPECT_EQ(pedsim::common::quoted("\xC3 \xff\x7f\xE2\x82"), "\"\\xc3 \\xff\\x7f\\xe2\\x82\"");
    EXPECT_EQ(pedsim::common::quoted(std::string(41, 'x')), "\"" + std::string(40, 'x') + "...\"");
}

}  // namespace
