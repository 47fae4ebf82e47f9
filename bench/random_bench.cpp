// The random stream: one uniform draw, and one shuffle of the size the
// generation loop makes for a few thousand parents.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "random/ranper.h"
#include "random/uniran.h"

namespace {

constexpr std::int32_t seed = 12345;

// One value per iteration, drawn the way the generation loop draws the sex
// of an offspring: uniran with n = 1 on a seeded generator.
void BM_UniranOneDraw(benchmark::State& state)
{
    pedsim::random::UniformGenerator generator;
    std::int32_t iseed = seed;
    float u = 0.0f;
    for (auto _ : state) {
        pedsim::random::uniran(generator, 1, iseed, std::span<float>(&u, 1));
        benchmark::DoNotOptimize(u);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UniranOneDraw);

// A complete shuffle of n positions; items are draws (one per position).
void BM_Ranper(benchmark::State& state)
{
    const auto n = static_cast<std::int32_t>(state.range(0));
    pedsim::random::UniformGenerator generator;
    std::int32_t iseed = seed;
    std::vector<float> perm(static_cast<std::size_t>(n));
    for (auto _ : state) {
        pedsim::random::ranper(generator, n, iseed, perm);
        benchmark::DoNotOptimize(perm.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Ranper)->Arg(10000);

}  // namespace
