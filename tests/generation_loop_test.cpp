// The generation loop on known parameter sets: the order of the chosen
// parents, the number of passes and draws, identifiers and generation blocks,
// and the parentage rules every pedigree must follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "design/parameter_checks.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"
#include "tests/pedigree_check.h"

namespace pedsim {
namespace {

struct Loop {
    sim::Tables tables;
    sim::LoopRecord record;
    std::uint64_t draws;
};

Loop simulate_loop(const design::Parameters& p)
{
    EXPECT_EQ(design::check_parameters(p), design::Verdict::runs);
    random::UniformGenerator generator;
    Loop loop;
    loop.tables = sim::simulate(p, generator, &loop.record);
    loop.draws = generator.draws();
    return loop;
}

std::vector<std::int32_t> ids(const sim::Tables& t, std::size_t first, std::size_t count)
{
    std::vector<std::int32_t> out;
    for (std::size_t r = first; r < first + count; ++r) out.push_back(t.pedigree.id(r));
    return out;
}

TEST(GenerationLoop, KnownRunWithSeed12345)
{
    const Loop loop = simulate_loop({3, 2, 3, 4, 2, 2, 3, 12345});
    const sim::Tables& t = loop.tables;
    EXPECT_EQ(t.animal_count, 42);
    EXPECT_EQ(loop.record.passes, (std::vector<std::int32_t>{1, 1, 1, 1}));
    EXPECT_EQ(loop.draws,
              166u);  // 3 * (6 dams + 24 births + 24 shuffled offspring) + 4 protocol dams
    // Generation 2: the two sons, then the six daughters, in the shuffles' order.
    EXPECT_EQ(ids(t, 8, 8),
              (std::vector<std::int32_t>{20003, 20006, 20004, 20002, 20010, 20013, 20021, 20011}));
    // The protocol's twelve offspring, in birth order, with generation 5.
    std::vector<std::int32_t> protocol_offspring;
    for (std::int32_t k = 1; k <= 12; ++k) protocol_offspring.push_back(50000 + k);
    EXPECT_EQ(ids(t, 30, 12), protocol_offspring);
}

TEST(GenerationLoop, GenerationBlocksAndIdentifiers)
{
    const Loop loop = simulate_loop({3, 2, 3, 4, 2, 2, 3, 0});
    const sim::Tables& t = loop.tables;
    ASSERT_EQ(t.animal_count, 42);
    const struct {
        std::size_t first, count;
        std::int32_t generation;
    } blocks[] = {{0, 8, 1}, {8, 8, 2}, {16, 8, 3}, {24, 6, 4}, {30, 12, 5}};
    for (const auto& b : blocks) {
        for (std::size_t r = b.first; r < b.first + b.count; ++r) {
            EXPECT_EQ(t.generation_of_row[r], b.generation) << "row " << r;
            // Offspring of the parents of generation g are numbered g*10000 + 10000 + k.
            EXPECT_GT(t.pedigree.id(r), b.generation * 10000) << "row " << r;
            EXPECT_LE(t.pedigree.id(r), b.generation * 10000 + 24) << "row " << r;
        }
    }
    EXPECT_EQ(ids(t, 0, 3), (std::vector<std::int32_t>{10001, 10002, 10003}));
}

TEST(GenerationLoop, FailedPassesAreRepeatedWithTheSameParentsAndIdentifiers)
{
    // 8 offspring per pass; 2 sons and 4 daughters needed, then the
    // protocol's 1 son and 2 daughters at the last historical pass.
    const Loop loop = simulate_loop({3, 2, 2, 2, 1, 2, 2, 99});
    const sim::Tables& t = loop.tables;
    EXPECT_EQ(loop.record.passes, (std::vector<std::int32_t>{6, 2, 1, 1}));
    EXPECT_EQ(t.animal_count, 25);
    for (std::size_t r = 6; r < 12; ++r) {  // generation 2, chosen at the sixth pass
        EXPECT_GE(t.pedigree.id(r), 20001);
        EXPECT_LE(t.pedigree.id(r), 20008);
    }
}

TEST(GenerationLoop, OneGenerationMakesTheFoundersOffspringTheProtocolParents)
{
    const Loop loop = simulate_loop({1, 2, 3, 4, 2, 2, 3, 5});
    const sim::Tables& t = loop.tables;
    ASSERT_EQ(t.animal_count, 8 + 6 + 12);
    for (std::size_t r = 8; r < 14; ++r) EXPECT_EQ(t.generation_of_row[r], 2);
    for (std::size_t r = 14; r < 26; ++r) EXPECT_EQ(t.generation_of_row[r], 3);
    EXPECT_EQ(loop.record.passes.size(), 2u);
}

TEST(GenerationLoop, ProtocolWithoutOffspringOrDamsAddsOnlyItsParents)
{
    EXPECT_EQ(simulate_loop({3, 2, 3, 4, 2, 2, 0, 8}).tables.animal_count, 24 + 6);
    EXPECT_EQ(simulate_loop({3, 2, 3, 4, 2, 0, 5, 8}).tables.animal_count, 24 + 2);
    EXPECT_EQ(simulate_loop({3, 2, 3, 4, 0, 0, 0, 8}).tables.animal_count, 24);
}

TEST(GenerationLoop, ParentsBelongToThePreviousGenerationAndIdentifiersAreUnique)
{
    const design::Parameters cases[] = {{3, 2, 3, 4, 2, 2, 3, 12345},
                                        {5, 4, 5, 3, 3, 4, 2, 77},
                                        {2, 10, 2, 2, 5, 2, 3, 2024},
                                        {4, 3, 1, 4, 2, 1, 1, 0}};
    for (const design::Parameters& p : cases) {
        const sim::Tables t = simulate_loop(p).tables;
        SCOPED_TRACE(testing::Message() << "ngen " << p.ngen << " seed " << p.iseed);
        std::vector<std::int32_t> all = ids(t, 0, static_cast<std::size_t>(t.animal_count));
        std::sort(all.begin(), all.end());
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
        EXPECT_EQ(pedigree_check::pedigree_fault(
                      sim::pedigree_text(t, p.ngen),
                      {p.ngen, p.nsire, p.ndps, p.noff, p.nsirep, p.ndpsp, p.noffp}),
                  "");
    }
}

}  // namespace
}  // namespace pedsim
