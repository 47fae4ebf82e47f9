// The whole job in one process, without the files: checks, simulation,
// renumbering and the pedigree's text, on a fresh generator every time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "design/parameter_checks.h"
#include "design/parameters.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace {

void whole_job(benchmark::State& state, const pedsim::design::Parameters& p)
{
    std::int64_t animals = 0;
    for (auto _ : state) {
        if (pedsim::design::check_parameters(p) != pedsim::design::Verdict::runs) {
            state.SkipWithError("the parameters do not run");
            return;
        }
        pedsim::random::UniformGenerator generator;
        const pedsim::sim::Tables tables = pedsim::sim::simulate(p, generator);
        const std::string text = pedsim::sim::pedigree_text(tables, p.ngen);
        benchmark::DoNotOptimize(text.data());
        animals = tables.animal_count;
    }
    state.SetItemsProcessed(state.iterations() * animals);
    state.counters["animals"] = static_cast<double>(animals);
}

// 592,100 animals, a 16.6 MB pedigree.
void BM_WholeJobLarge(benchmark::State& state)
{
    whole_job(state, {97, 3000, 1, 3, 100, 10, 9, 12345});
}
BENCHMARK(BM_WholeJobLarge)->Unit(benchmark::kMillisecond);

// 256,050 animals.
void BM_WholeJobMedium(benchmark::State& state)
{
    whole_job(state, {50, 1000, 4, 2, 50, 20, 5, 7});
}
BENCHMARK(BM_WholeJobMedium)->Unit(benchmark::kMillisecond);

}  // namespace
