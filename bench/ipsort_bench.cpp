// The indexed sort on keys shaped like the pedigree's: the identifier, sire
// and dam of every animal, generation after generation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "random/ranper.h"
#include "random/uniran.h"
#include "sort/ipsort.h"

namespace {

using Keys = std::vector<std::int32_t>;

constexpr std::int32_t block_size = 6000;  // animals per generation
constexpr std::int32_t ascending = 1;

std::int32_t position_of(float permutation_entry)
{
    return static_cast<std::int32_t>(permutation_entry) - 1;
}

// `generations` blocks of animals, identifiers 10001.., 20001.., ... each in
// a shuffled order within its block as the selection leaves them; founders
// have unknown parents (0), every later animal a sire and a dam drawn from the
// block before. Returns (id, sire, dam) per animal, or only the identifiers.
Keys pedigree_keys(std::int32_t generations, bool with_parents)
{
    pedsim::random::UniformGenerator generator;
    std::int32_t iseed = 2024;
    std::vector<float> order(block_size);
    float u = 0.0f;
    auto draw_parent = [&](std::int32_t block) {
        pedsim::random::uniran(generator, 1, iseed, std::span<float>(&u, 1));
        const auto k = static_cast<std::int32_t>(u * static_cast<float>(block_size - 1));
        return block * 10000 + 1 + k;
    };
    Keys keys;
    for (std::int32_t g = 1; g <= generations; ++g) {
        pedsim::random::ranper(generator, block_size, iseed, order);
        for (float entry : order) {
            keys.push_back(g * 10000 + 1 + position_of(entry));
            if (!with_parents) continue;
            keys.push_back(g == 1 ? 0 : draw_parent(g - 1));
            keys.push_back(g == 1 ? 0 : draw_parent(g - 1));
        }
    }
    return keys;
}

// ipsort with kflag 1 leaves the keys as they are, so every iteration sorts
// the same input. The work space is lent once, as the program lends it.
void sort_keys(benchmark::State& state, Keys keys)
{
    const auto n = static_cast<std::int32_t>(keys.size());
    std::vector<std::int32_t> iperm(keys.size());
    std::vector<std::int32_t> work(keys.size());
    for (auto _ : state) {
        pedsim::sort::ipsort(keys, n, iperm, ascending, work);
        benchmark::DoNotOptimize(iperm.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The numbering sort of a 600,000-animal pedigree: 1.8 million keys.
void BM_IpsortPedigreeKeys(benchmark::State& state) { sort_keys(state, pedigree_keys(100, true)); }
BENCHMARK(BM_IpsortPedigreeKeys)->Unit(benchmark::kMillisecond);

// The ordering sort of the same pedigree: its 600,000 identifiers.
void BM_IpsortIdentifiers(benchmark::State& state) { sort_keys(state, pedigree_keys(100, false)); }
BENCHMARK(BM_IpsortIdentifiers)->Unit(benchmark::kMillisecond);

}  // namespace
