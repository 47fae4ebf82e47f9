// The checks made on the parameters before anything is allocated: the
// protocol check, the table sizes, the pedigree's limits and whether every
// pass can succeed, each just inside (runs) and just outside (refused).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/failure.h"
#include "design/parameter_checks.h"
#include "sim/simulation.h"

namespace pedsim {
namespace {

struct Refusal {
    common::ExitStatus status;
    std::string message;
};

Refusal refusal(const design::Parameters& p)
{
    try {
        const design::Verdict verdict = design::check_parameters(p);
        ADD_FAILURE() << "not refused; verdict " << static_cast<int>(verdict);
    } catch (const common::Failure& failure) {
        return {failure.status(), failure.what()};
    }
    return {common::ExitStatus::success, {}};
}

TEST(ProtocolCheck, HalfTheOffspringPassesOneDamMoreDoesNot)
{
    // 24 offspring per generation: 12 protocol dams pass, 13 do not.
    EXPECT_EQ(design::check_parameters({3, 2, 3, 4, 2, 6, 3, 1}), design::Verdict::runs);
    EXPECT_EQ(design::check_parameters({3, 2, 3, 4, 1, 13, 3, 1}),
              design::Verdict::protocol_too_large);
    EXPECT_TRUE(design::protocol_fits({3, 2, 3, 4, 4, 3, 1, 1}));
    EXPECT_FALSE(design::protocol_fits({3, 2, 3, 4, 13, 1, 1, 1}));
}

TEST(ProtocolCheck, ComesFirstAndWrapsIn32Bits)
{
    // No offspring at all: the protocol message, before any refusal.
    EXPECT_EQ(design::check_parameters({0, 2, 3, 0, 2, 2, 3, 1}),
              design::Verdict::protocol_too_large);
    // 65536 * 65536 offspring wrap to 0 in 32 bits, as the program always computed.
    EXPECT_FALSE(design::protocol_fits({3, 65536, 65536, 1, 1, 1, 1, 1}));
    // A negative product compares as negative.
    EXPECT_FALSE(design::protocol_fits({3, 2, -3, 4, 1, 1, 1, 1}));
}

TEST(TableSizes, ElementCountsAbove32BitsAreOverflows)
{
    const std::string overflow =
        "Integer overflow when calculating the amount of memory to allocate";
    // 3 * (100000 * 10000 * 2 + 3) keys, and (214748 + 1) * 10000 generation entries.
    for (const design::Parameters& p : {design::Parameters{100000, 10000, 1, 1, 1, 1, 1, 1},
                                        design::Parameters{214748, 1, 1, 2, 0, 0, 0, 1}}) {
        const Refusal r = refusal(p);
        EXPECT_EQ(r.status, common::ExitStatus::out_of_memory);
        EXPECT_EQ(r.message, overflow);
    }
    // One generation less fits the generation table; the limits refuse it instead.
    EXPECT_EQ(refusal({214747, 1, 1, 2, 0, 0, 0, 1}).status, common::ExitStatus::request_refused);
}

TEST(PedigreeLimits, EachLimitJustInsideRunsJustOutsideIsRefused)
{
    struct Case {
        design::Parameters inside, outside;
        std::string message;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 2, 2, 3, 1},
         {0, 2, 3, 4, 2, 2, 3, 1},
         "ngen = 0 must be at least 1 (generations of random mating)"},
        {{3, 1, 3, 4, 0, 0, 0, 1},
         {3, 0, 3, 4, 0, 0, 0, 1},
         "nsire = 0 must be at least 1 (sires of each generation)"},
        {{3, 2, 3, 2, 0, 0, 0, 1},
         {3, 2, 3, 0, 0, 0, 0, 1},
         "noff = 0 must be at least 1 (offspring per dam)"},
        {{3, 2, 3, 4, 0, 1, 3, 1},
         {3, 2, 3, 4, -1, 1, 3, 1},
         "nsirep = -1 must be at least 0 (sires of the protocol)"},
        {{3, 2, 3, 4, 2, 0, 3, 1},
         {3, 2, 3, 4, 2, -1, 3, 1},
         "ndpsp = -1 must be at least 0 (dams per protocol sire)"},
        {{3, 2, 3, 4, 2, 2, 0, 1},
         {3, 2, 3, 4, 2, 2, -1, 1},
         "noffp = -1 must be at least 0 (offspring per protocol dam)"},
        {{2, 5000, 1, 2, 1, 1, 1, 1},
         {2, 5001, 1, 2, 1, 1, 1, 1},
         "nsire*(ndps+1) = 10002 founders exceed 10000, the identifiers of one generation; reduce "
         "nsire or ndps"},
        {{2, 100, 10, 10, 1, 1, 1, 1},
         {2, 100, 10, 11, 1, 1, 1, 1},
         "nsire*ndps*noff = 11000 offspring per generation exceed 10000, the identifiers of one "
         "generation; reduce nsire, ndps or noff"},
        {{97, 3000, 1, 3, 100, 10, 10, 1},
         {97, 3000, 1, 3, 100, 10, 11, 1},
         "(ngen+2)*10000 + nsirep*ndpsp*noffp = 1001000 exceeds 1000000, the largest identifier; "
         "reduce ngen or the protocol's offspring"},
        {{1, 10, 10, 10, 10, 10, 197, 1},
         {1, 10, 10, 10, 10, 10, 198, 1},
         "the pedigree's 20020 animals exceed (ngen+1)*10000 = 20000; reduce the protocol (nsirep, "
         "ndpsp, noffp) or raise ngen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(design::check_parameters(c.inside), design::Verdict::runs);
        const Refusal r = refusal(c.outside);
        EXPECT_EQ(r.status, common::ExitStatus::request_refused);
        EXPECT_EQ(r.message, "parpop: " + c.message);
    }
}

TEST(PedigreeLimits, HugeValuesAreRefusedWithoutWrapAround)
{
    // nsire * ndps * noff = 2^32 * 2^32 / ... would wrap to small values in 32 or 64 bits.
    const design::Parameters huge[] = {
        {1, 65536, 65536, 65536, 0, 0, 0, 1},
        {2147483647, 1, 1, 2, 0, 0, 0, 1},
        {3, 2, 3, 4, -2147483647 - 1, -1, 3, 1},
        {3, 2147483647, 2147483647, 2147483647, 0, 0, 0, 1},
    };
    for (const design::Parameters& p : huge) {
        const Refusal r = refusal(p);
        EXPECT_NE(r.status, common::ExitStatus::success) << r.message;
    }
}

TEST(ExpectedRepeats, SmallCasesByHand)
{
    EXPECT_DOUBLE_EQ(design::expected_repeats(2, 1, 1), 1.0);         // 2 of 4 outcomes succeed
    EXPECT_DOUBLE_EQ(design::expected_repeats(4, 2, 2), 10.0 / 6.0);  // 6 of 16
    EXPECT_DOUBLE_EQ(design::expected_repeats(10, 0, 0), 0.0);
    EXPECT_TRUE(std::isinf(design::expected_repeats(3, 2, 2)));
    // Fewer than 2 sons (25 outcomes) or more than 18 (55455 outcomes) of 2^24.
    EXPECT_NEAR(design::expected_repeats(24, 2, 6), 55480.0 / (16777216.0 - 55480.0), 1e-12);
}

TEST(PassFeasibility, SelectionsThatCanNeverSucceedAreRefused)
{
    const std::string historical = "; raise noff (at least 2) or ndps";
    const std::string protocol = "; reduce nsirep or ndpsp, or raise noff";
    const struct {
        design::Parameters p;
        std::string message;
    } cases[] = {
        {{2, 2, 3, 1, 0, 0, 0, 1},
         "choosing 2 sires and 6 dams from the 6 offspring of a generation "
         "(nsire*ndps*noff) is impossible" +
             historical},
        {{2, 2, 0, 4, 0, 0, 0, 1},
         "choosing 2 sires and 0 dams from the 0 offspring of a generation "
         "(nsire*ndps*noff) is impossible" +
             historical},
        {{3, 2, 3, 4, 25, 0, 0, 1},
         "choosing 25 sires and 0 dams from the 24 offspring of a generation "
         "(nsire*ndps*noff) is impossible" +
             protocol},
    };
    for (const auto& c : cases) {
        const Refusal r = refusal(c.p);
        EXPECT_EQ(r.status, common::ExitStatus::request_refused);
        EXPECT_EQ(r.message, "parpop: " + c.message);
    }
    // With one generation the founders' offspring are the protocol's parents,
    // so one offspring per dam is enough.
    EXPECT_EQ(design::check_parameters({1, 2, 3, 1, 1, 1, 1, 1}), design::Verdict::runs);
}

TEST(PassFeasibility, SelectionsThatWouldRepeatTooOftenAreRefused)
{
    // 10000 offspring: 5200 sons are 4 standard deviations above the mean
    // (about 3e4 repeats), 5250 are 5 (about 3.5e6).
    EXPECT_EQ(design::check_parameters({2, 5000, 1, 2, 5200, 0, 0, 1}), design::Verdict::runs);
    const Refusal r = refusal({2, 5000, 1, 2, 5250, 0, 0, 1});
    EXPECT_EQ(r.status, common::ExitStatus::request_refused);
    EXPECT_EQ(
        r.message.rfind("parpop: choosing 5250 sires and 0 dams from the 10000 offspring of a "
                        "generation (nsire*ndps*noff) would take about 3.",
                        0),
        0u)
        << r.message;
    EXPECT_NE(
        r.message.find("e+06 repeated passes on average; reduce nsirep or ndpsp, or raise noff"),
        std::string::npos)
        << r.message;
    EXPECT_GT(design::expected_repeats(10000, 5200, 0), 1e4);
    EXPECT_LT(design::expected_repeats(10000, 5200, 0), 1e5);
}

}  // namespace
}  // namespace pedsim
