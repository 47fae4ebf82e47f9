// The relationship engine under stress: threads that cannot start or fail,
// memory that runs out, and the pedigree shapes that once made it slow.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "measures/analysis.h"
#include "relationship/discrete_generations.h"
#include "relationship/generation_groups.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/mean_coancestry.h"
#include "shell/batch_pipe.h"
#include "shell/parallel.h"
#include "tests/end_to_end.h"
#include "tests/stats_pedigrees.h"

namespace {

using end_to_end::Sandbox;
using pedsim::pedigree::Pedigree;

// The chains of `depth` animals after a first founder: animal i's sire is
// animal i - 1, its dam unknown or, with `founder_dams`, a founder of its own
// listed first.
std::string chain(int depth, bool founder_dams)
{
    std::string lines = "a0 0 0\n";
    for (int i = 1; i <= depth; ++i) {
        const std::string dam = founder_dams ? "d" + std::to_string(i) : "0";
        if (founder_dams) lines.insert(0, dam + " 0 0\n");
        lines += "a" + std::to_string(i) + " a" + std::to_string(i - 1) + " " + dam + "\n";
    }
    return lines;
}

// pedsim's flock design with the dam of one animal and the sire of another
// made unknown, as a user's file with two incomplete rows.
Pedigree flock_with_unknown_parents()
{
    Pedigree pedigree = stats_test::simulated_pedigree({12, 25, 40, 3, 20, 30, 2, 271828});
    pedigree.dam[pedigree.size() / 2] = pedsim::pedigree::unknown;
    pedigree.sire[pedigree.size() - 1] = pedsim::pedigree::unknown;
    return pedigree;
}

// Unknown parents, founders used as parents generations after their own and
// one-animal generations keep the coancestry matrix carried forward, and it
// agrees with the ancestor paths and matrix products everywhere.
TEST(StatsEngine, CarriedMatrixAgreesWithPathsWhereParentsAreMissing)
{
    struct Case {
        const char* what;
        Pedigree pedigree;
    };
    const Case cases[] = {
        {"flock, one dam and one sire unknown", flock_with_unknown_parents()},
        {"chain, dams unknown", stats_test::written_pedigree(chain(300, false))},
        {"chain, each dam a founder", stats_test::written_pedigree(chain(300, true))},
        {"half sibs by an unknown dam and a late founder",
         stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 0\n4 1 2\n5 1 0\n6 0 0\n"
                                      "7 3 4\n8 5 4\n9 7 8\n10 6 8\n11 9 10\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto& pedigree = c.pedigree;
        const auto groups = pedsim::relationship::group_by_generation(pedigree);
        ASSERT_TRUE(pedsim::relationship::has_discrete_generations(pedigree, groups));
        const auto carried = pedsim::relationship::coancestry_carried_forward(
            pedigree, groups, pedsim::relationship::most_families(pedigree.size()), {});
        ASSERT_TRUE(carried.has_value());
        const auto by_paths = pedsim::relationship::inbreeding_by_paths(pedigree, {});
        const std::vector<double>& f = by_paths.inbreeding;
        const std::vector<double> mean =
            pedsim::relationship::mean_coancestry_by_products(pedigree, by_paths, groups, {});
        for (std::size_t i = 0; i < pedigree.size(); ++i)
            ASSERT_NEAR(carried->inbreeding[i], f[i], 1e-12) << pedigree.names[i];
        for (std::size_t g = 0; g < groups.size(); ++g)
            ASSERT_NEAR(carried->mean_coancestry[g], mean[g], 1e-12) << g;
        EXPECT_EQ(pedsim::measures::analyse(pedigree, {}, {}).method.substr(0, 20),
                  "discrete generations");
    }
}

// A chain has F = 0 throughout and each one-animal generation a mean
// coancestry of 1/2, its own; with founder dams, the first generation holds
// the chain's first animal and all the dams, n unrelated founders: 1/(2n).
TEST(StatsEngine, ChainsHaveTheirKnownValues)
{
    constexpr int depth = 2000;
    for (const bool founder_dams : {false, true}) {
        SCOPED_TRACE(founder_dams);
        const Pedigree pedigree = stats_test::written_pedigree(chain(depth, founder_dams));
        const pedsim::measures::Analysis analysis = pedsim::measures::analyse(pedigree, {}, {});
        ASSERT_EQ(analysis.generations.size(), std::size_t{depth} + 1);
        for (const double f : analysis.animals.inbreeding) ASSERT_EQ(f, 0);
        const double founders = founder_dams ? depth + 1 : 1;
        EXPECT_DOUBLE_EQ(analysis.generations[0].mean_coancestry, 1 / (2 * founders));
        for (std::size_t g = 1; g < analysis.generations.size(); ++g)
            ASSERT_EQ(analysis.generations[g].mean_coancestry, 0.5) << g;
    }
}

// More families among one generation's parents than the memory allows end
// the carried matrix; at the limit it still gives the paths' values.
TEST(StatsEngine, FamiliesBeyondTheMemoryLimitFallBack)
{
    // 20 generations of 16 families of full sibs, each mated with the next
    // family's: 16 families of parents in every generation, plus the founders'.
    std::string lines;
    const auto name = [](int generation, int family, int sib) {
        return "g" + std::to_string(generation) + "f" + std::to_string(family) + "s" +
               std::to_string(sib);
    };
    constexpr int families = 16;
    for (int generation = 0; generation < 20; ++generation)
        for (int family = 0; family < families; ++family)
            for (int sib = 0; sib < 2; ++sib) {
                lines += name(generation, family, sib);
                if (generation == 0) {
                    lines += " 0 0\n";
                    continue;
                }
                lines += " " + name(generation - 1, family, 0) + " " +
                         name(generation - 1, (family + 1) % families, 1) + "\n";
            }
    const Pedigree pedigree = stats_test::written_pedigree(lines);
    const auto groups = pedsim::relationship::group_by_generation(pedigree);
    ASSERT_TRUE(pedsim::relationship::has_discrete_generations(pedigree, groups));
    EXPECT_FALSE(pedsim::relationship::coancestry_carried_forward(pedigree, groups, families, {}));
    const auto carried =
        pedsim::relationship::coancestry_carried_forward(pedigree, groups, families + 1, {});
    ASSERT_TRUE(carried.has_value());
    const auto by_paths = pedsim::relationship::inbreeding_by_paths(pedigree, {});
    const std::vector<double>& f = by_paths.inbreeding;
    EXPECT_GT(f.back(), 0.1);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        ASSERT_NEAR(carried->inbreeding[i], f[i], 1e-12) << pedigree.names[i];
    const std::vector<double> mean =
        pedsim::relationship::mean_coancestry_by_products(pedigree, by_paths, groups, {});
    for (std::size_t g = 0; g < groups.size(); ++g)
        ASSERT_NEAR(carried->mean_coancestry[g], mean[g], 1e-12) << g;
}

// A failure in any chunk, whichever thread runs it, comes out on the caller
// as it was thrown, after every thread has stopped.
TEST(StatsEngine, ChunksCarryTheirFailureBackToTheCaller)
{
    for (const std::size_t failing : {std::size_t{0}, std::size_t{5}, std::size_t{63}}) {
        SCOPED_TRACE(failing);
        std::atomic<int> running = 0;
        std::atomic<bool> running_at_return = false;
        const auto body = [&](std::size_t begin, std::size_t, std::size_t) {
            ++running;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            --running;
            if (begin == failing) throw std::runtime_error("chunk " + std::to_string(begin));
        };
        try {
            pedsim::shell::for_each_chunk(64, 1, body);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& failure) {
            running_at_return = running != 0;
            EXPECT_EQ(std::string(failure.what()), "chunk " + std::to_string(failing));
        }
        EXPECT_FALSE(running_at_return);
    }
}

// Every chunk runs once, with a worker number below the bound on threads
// (worker_count() by default); one thread is the caller's alone.
TEST(StatsEngine, ChunksCoverTheRangeOnce)
{
    const std::size_t machine = pedsim::shell::worker_count();
    for (const std::size_t threads : {machine, std::size_t{1}, std::size_t{3}})
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
            SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(count));
            std::vector<std::atomic<int>> done(count);
            std::atomic<bool> worker_in_range = true, off_the_caller = false;
            const std::thread::id caller = std::this_thread::get_id();
            const auto body = [&](std::size_t begin, std::size_t end, std::size_t worker) {
                if (worker >= threads) worker_in_range = false;
                if (std::this_thread::get_id() != caller) off_the_caller = true;
                for (std::size_t k = begin; k < end; ++k) ++done[k];
            };
            if (threads == machine)
                pedsim::shell::for_each_chunk(count, 7, body);
            else
                pedsim::shell::for_each_chunk(count, 7, body, threads);
            EXPECT_TRUE(worker_in_range);
            EXPECT_TRUE(threads != 1 || !off_the_caller);
            for (std::size_t k = 0; k < count; ++k) EXPECT_EQ(done[k], 1) << k;
        }
}

// A for_each_chunk inside a chunk runs on that chunk's thread, so that a
// replicate study's analyses never multiply the threads.
TEST(StatsEngine, NestedChunksStayOnTheirThread)
{
    std::atomic<int> strays = 0, inner_chunks = 0;
    pedsim::shell::for_each_chunk(8, 1, [&](std::size_t, std::size_t, std::size_t) {
        const std::thread::id outer = std::this_thread::get_id();
        pedsim::shell::for_each_chunk(16, 1, [&](std::size_t, std::size_t, std::size_t worker) {
            ++inner_chunks;
            std::this_thread::sleep_for(std::chrono::microseconds(200));  // room for a helper
            if (std::this_thread::get_id() != outer || worker != 0) ++strays;
        });
    });
    EXPECT_EQ(inner_chunks, 8 * 16);
    EXPECT_EQ(strays, 0);
}

// A pipe consumes every batch once, in the order pushed, on a thread of its
// own where one may start and on the caller's within a chunk; after the
// consumer throws, later batches are dropped, push says so, and finish()
// rethrows on the caller.
TEST(StatsEngine, PipeConsumesBatchesInOrderAndCarriesItsFailureBack)
{
    struct Case {
        bool within_chunk;
        int failing_batch;  // -1: none
    };
    for (const Case c : {Case{false, -1}, Case{false, 30}, Case{true, -1}, Case{true, 30}}) {
        SCOPED_TRACE(std::to_string(c.within_chunk) + " " + std::to_string(c.failing_batch));
        std::vector<int> consumed;
        std::atomic<bool> off_the_caller = false;
        bool refused_a_push = false;
        const auto run = [&] {
            const std::thread::id caller = std::this_thread::get_id();
            pedsim::shell::BatchPipe<std::vector<int>> pipe(
                [&](std::vector<int>& batch) {
                    if (std::this_thread::get_id() != caller) off_the_caller = true;
                    if (batch.front() == c.failing_batch)
                        throw std::runtime_error("batch " + std::to_string(batch.front()));
                    consumed.insert(consumed.end(), batch.begin(), batch.end());
                },
                2);
            for (int b = 0; b < 100 && !refused_a_push; ++b)
                refused_a_push = !pipe.push(std::vector<int>{b, b});
            pipe.finish();
        };
        std::string failure;
        try {
            if (c.within_chunk)
                pedsim::shell::for_each_chunk(2, 1,
                                              [&](std::size_t begin, std::size_t, std::size_t) {
                                                  if (begin == 0) run();
                                              });
            else
                run();
        } catch (const std::runtime_error& thrown) {
            failure = thrown.what();
        }
        const int batches = c.failing_batch < 0 ? 100 : c.failing_batch;
        ASSERT_EQ(consumed.size(), static_cast<std::size_t>(2 * batches));
        for (int k = 0; k < 2 * batches; ++k) EXPECT_EQ(consumed[k], k / 2);
        EXPECT_EQ(failure, c.failing_batch < 0 ? "" : "batch 30");
        EXPECT_EQ(refused_a_push, c.failing_batch >= 0);
        EXPECT_EQ(off_the_caller.load(), !c.within_chunk && pedsim::shell::worker_count() > 1);
    }
}

// Work run beside the caller has finished when run_beside returns. It has a
// thread of its own only at the top, with more than one core: inside a chunk
// or inside other work run beside, it keeps to the caller's thread, and a
// for_each_chunk inside it keeps to its thread too.
TEST(StatsEngine, WorkBesideJoinsAndNeverMultipliesThreads)
{
    const bool cores = pedsim::shell::worker_count() > 1;
    const struct {
        const char* where;
        std::function<void(const std::function<void()>&)> call_from;
        bool own_thread;
    } cases[] = {
        {"at the top", [](const std::function<void()>& call) { call(); }, cores},
        {"in a chunk",
         [](const std::function<void()>& call) {
             pedsim::shell::for_each_chunk(1, 1,
                                           [&](std::size_t, std::size_t, std::size_t) { call(); });
         },
         false},
        {"in work beside",
         [](const std::function<void()>& call) { pedsim::shell::run_beside(call, [] {}); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        std::atomic<int> beside_runs = 0, own_runs = 0, strays = 0;
        std::thread::id caller, beside;
        c.call_from([&] {
            caller = std::this_thread::get_id();
            pedsim::shell::run_beside(
                [&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // outlast `own`
                    beside = std::this_thread::get_id();
                    pedsim::shell::for_each_chunk(
                        16, 1, [&](std::size_t, std::size_t, std::size_t worker) {
                            std::this_thread::sleep_for(std::chrono::microseconds(200));
                            if (std::this_thread::get_id() != beside || worker != 0) ++strays;
                        });
                    ++beside_runs;
                },
                [&] { ++own_runs; });
            EXPECT_EQ(beside_runs, 1);  // joined before returning
        });
        EXPECT_EQ(own_runs, 1);
        EXPECT_EQ(beside != caller, c.own_thread);
        EXPECT_EQ(strays, 0);
    }
}

// A failure of either side comes out on the caller once both have stopped;
// the caller's own when both fail.
TEST(StatsEngine, WorkBesideCarriesItsFailureBackToTheCaller)
{
    const struct {
        bool own_fails, beside_fails;
        const char* thrown;
    } cases[] = {
        {true, false, "own"},
        {false, true, "beside"},
        {true, true, "own"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.thrown);
        std::atomic<bool> beside_running = false, running_at_return = false;
        try {
            pedsim::shell::run_beside(
                [&] {
                    beside_running = true;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                    beside_running = false;
                    if (c.beside_fails) throw std::runtime_error("beside");
                },
                [&] {
                    if (c.own_fails) throw std::runtime_error("own");
                });
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& failure) {
            running_at_return = beside_running.load();
            EXPECT_EQ(std::string(failure.what()), c.thrown);
        }
        EXPECT_FALSE(running_at_return);
    }
}

// pedsim-stats and pedsim-traits under `ulimit`: threads that cannot start
// leave their work to the caller with the same output; memory that runs out
// in any thread ends the run with one line and status 3, never "terminate
// called". The sanitizers reserve more address space than these limits allow.
TEST(StatsEngine, LimitsOnThreadsAndMemoryEndInOneLine)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's address space does not fit under ulimit -v";
#endif
    Sandbox box;
    box.write("parpop", "12 25 40 3 20 30 2\n271828\n");  // examples/flock.parpop
    ASSERT_EQ(box.run().status, 0);
    box.write("m.toml", "seed = 11\ntraits = [\"w\"]\nmean = 0\nadditive = 1\nresidual = 1\n");
    // The larger limit fails pedsim-stats in a worker thread; pedsim-traits
    // needs less, and at -O0 fits in it.
    const struct {
        std::string program, name;
        std::vector<std::string> args;
        std::vector<const char*> too_small;
    } programs[] = {
        {PEDSIM_STATS_BINARY, "pedsim-stats", {"pedig"}, {"ulimit -v 12000", "ulimit -v 20000"}},
        {PEDSIM_TRAITS_BINARY,
         "pedsim-traits",
         {"--model", "m.toml", "--threads", "4", "pedig"},
         {"ulimit -v 12000"}},
    };
    for (const auto& [program, name, args, too_small] : programs) {
        SCOPED_TRACE(name);
        const auto run_limited = [&](const std::string& limits) {
            return box.run(args, std::chrono::seconds(60),
                           {"/bin/sh", "-c", limits + "; exec \"$0\" \"$@\""}, program);
        };
        const end_to_end::Run unlimited = run_limited("true");
        ASSERT_EQ(unlimited.status, 0) << unlimited.err;
        struct Case {
            const char* limits;
            int status;
        };
        // 100 MB stacks in 60 MB of address space: no thread starts.
        std::vector<Case> cases = {{"ulimit -s 100000; ulimit -v 60000", 0}};
        for (const char* limits : too_small) cases.push_back({limits, 3});
        for (const auto& c : cases) {
            SCOPED_TRACE(c.limits);
            const end_to_end::Run run = run_limited(c.limits);
            EXPECT_EQ(run.signal, 0);
            EXPECT_EQ(run.status, c.status);
            if (c.status == 0) {
                EXPECT_EQ(run.out, unlimited.out);
                EXPECT_EQ(run.err, unlimited.err);
            } else {
                EXPECT_EQ(run.err, name + ": out of memory\n");
            }
        }
    }
}

}  // namespace
