// The pedigree file's text: one line, and the whole file of the large case
// formatted into memory.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <string>

#include "design/parameter_checks.h"
#include "design/parameters.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace {

// One line per iteration, with values of the widths a large pedigree holds.
void BM_FormatPedigreeLine(benchmark::State& state)
{
    std::array<char, pedsim::sim::pedigree_line_length> line{};
    std::int32_t animal = 500000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(pedsim::sim::format_pedigree_line(
            line.data(), animal, animal - 6007, animal - 5999, -42));
        benchmark::ClobberMemory();
        animal = animal == 599999 ? 500000 : animal + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatPedigreeLine);

// Keeps the text in one reused string, as a file's page cache would.
struct MemorySink final : pedsim::sim::BlockSink {
    std::string text;
    void write(const char* data, std::size_t size) override { text.append(data, size); }
};

// write_pedigree on the simulated pedigree of 97 3000 1 3 100 10 9, seed
// 12345 (592,100 lines); the simulation is done once, outside the timing.
void BM_WritePedigree(benchmark::State& state)
{
    const pedsim::design::Parameters p{97, 3000, 1, 3, 100, 10, 9, 12345};
    pedsim::random::UniformGenerator generator;
    const pedsim::sim::Tables tables = pedsim::sim::simulate(p, generator);
    MemorySink sink;
    sink.text.reserve(static_cast<std::size_t>(tables.animal_count) *
                      pedsim::sim::pedigree_line_length);
    for (auto _ : state) {
        sink.text.clear();
        pedsim::sim::write_pedigree(tables, p.ngen, sink);
        benchmark::DoNotOptimize(sink.text.data());
    }
    state.SetItemsProcessed(state.iterations() * tables.animal_count);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sink.text.size()));
}
BENCHMARK(BM_WritePedigree)->Unit(benchmark::kMillisecond);

}  // namespace
