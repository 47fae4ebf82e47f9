// The relationship engine under stress: threads that cannot start or fail,
// memory that runs out, and the pedigree shapes that once made it slow.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "end_to_end.h"
#include "parallel.h"

namespace {

using end_to_end::Sandbox;

// A failure in any chunk, whichever thread runs it, comes out on the caller
// as it was thrown, and no chunk starts after it.
TEST(StatsEngine, ChunksCarryTheirFailureBackToTheCaller)
{
    for (const std::size_t failing : {std::size_t{0}, std::size_t{5}, std::size_t{63}}) {
        SCOPED_TRACE(failing);
        std::atomic<std::size_t> started = 0;
        const auto body = [&](std::size_t begin, std::size_t, std::size_t) {
            ++started;
            if (begin == failing) throw std::runtime_error("chunk " + std::to_string(begin));
        };
        try {
            pedsim::stats::for_each_chunk(64, 1, body);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& failure) {
            EXPECT_EQ(std::string(failure.what()), "chunk " + std::to_string(failing));
        }
        EXPECT_LE(started, failing + pedsim::stats::worker_count());
    }
}

// Every chunk runs once, with a worker number below worker_count().
TEST(StatsEngine, ChunksCoverTheRangeOnce)
{
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
        std::vector<std::atomic<int>> done(count);
        std::atomic<bool> worker_in_range = true;
        pedsim::stats::for_each_chunk(count, 7,
                                      [&](std::size_t begin, std::size_t end, std::size_t worker) {
                                          if (worker >= pedsim::stats::worker_count())
                                              worker_in_range = false;
                                          for (std::size_t k = begin; k < end; ++k) ++done[k];
                                      });
        EXPECT_TRUE(worker_in_range);
        for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(done[k], 1) << k;
    }
}

// pedsim-stats under `ulimit`: threads that cannot start leave their work to
// the caller with the same table; memory that runs out in any thread ends
// the run with one line and status 3, never "terminate called". The
// sanitizers reserve more address space than these limits allow.
TEST(StatsEngine, LimitsOnThreadsAndMemoryEndInOneLine)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's address space does not fit under ulimit -v";
#endif
    Sandbox box;
    box.write("parpop", "12 25 40 3 20 30 2\n271828\n");  // examples/flock.parpop
    ASSERT_EQ(box.run().status, 0);
    const auto run_limited = [&](const std::string& limits) {
        return box.run({"pedig"}, std::chrono::seconds(60),
                       {"/bin/sh", "-c", limits + "; exec \"$0\" \"$@\""}, PEDSIM_STATS_BINARY);
    };
    const end_to_end::Run unlimited = run_limited("true");
    ASSERT_EQ(unlimited.status, 0) << unlimited.err;

    struct Case {
        const char* limits;
        int status;
        const char* err;
    };
    const Case cases[] = {
        // 100 MB stacks in 60 MB of address space: no thread starts.
        {"ulimit -s 100000; ulimit -v 60000", 0, ""},
        {"ulimit -v 12000", 3, "pedsim-stats: out of memory\n"},
        {"ulimit -v 20000", 3, "pedsim-stats: out of memory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limits);
        const end_to_end::Run run = run_limited(c.limits);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.err, c.err);
        if (c.status == 0) {
            EXPECT_EQ(run.out, unlimited.out);
        }
    }
}

}  // namespace
