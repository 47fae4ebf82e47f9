// The pedigree reader of pedsim-stats on the largest pedsim pedigree (592,100
// animals): as pedsim writes it, and as a real pedigree might come, the same
// animals with names, commas, "NA" for unknown parents, a header and the rows
// in reverse order, so that every parent stands after its offspring. And the
// whole reading stage of a program (the file read, decompressed and parsed)
// on the file named by PEDSIM_READER_FILE, when that is set, such as a
// 10,000,000-animal herd book from herd_book_pedigree.py.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "design/parameters.h"
#include "pedigree/pedigree_reader.h"
#include "shell/input_files.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace {

const std::string& largest_pedsim_file()
{
    static const std::string text = [] {
        const pedsim::design::Parameters largest{97, 3000, 1, 3, 100, 10, 9, 12345};
        pedsim::random::UniformGenerator generator;
        return pedsim::sim::pedigree_text(pedsim::sim::simulate(largest, generator), largest.ngen);
    }();
    return text;
}

std::string as_named_reversed_csv(const std::string& pedsim_file)
{
    std::vector<std::string> rows;
    for (std::size_t at = 0; at < pedsim_file.size(); at += pedsim::sim::pedigree_line_length) {
        int animal = 0, sire = 0, dam = 0;
        std::sscanf(pedsim_file.c_str() + at, "%d %d %d", &animal, &sire, &dam);
        const auto name = [](int id) {
            return id == 0 ? std::string("NA") : "ewe" + std::to_string(id);
        };
        rows.push_back(name(animal) + ',' + name(sire) + ',' + name(dam) + '\n');
    }
    std::string text = "animal,sire,dam\n";
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) text += *row;
    return text;
}

void read_text(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) benchmark::DoNotOptimize(pedsim::pedigree::read_pedigree(text, "bench"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_ReadLargestPedsimFile(benchmark::State& state) { read_text(state, largest_pedsim_file()); }

void BM_ReadLargestNamedReversed(benchmark::State& state)
{
    static const std::string text = as_named_reversed_csv(largest_pedsim_file());
    read_text(state, text);
}

void BM_ReadFileNamedInEnvironment(benchmark::State& state)
{
    const char* path = std::getenv("PEDSIM_READER_FILE");
    if (path == nullptr) {
        state.SkipWithError("PEDSIM_READER_FILE is not set");
        return;
    }
    std::size_t animals = 0;
    for (auto _ : state) {
        const pedsim::pedigree::Pedigree pedigree =
            pedsim::pedigree::read_pedigree(pedsim::shell::input_text(path).text(), path);
        animals = pedigree.size();
    }
    state.counters["animals"] = static_cast<double>(animals);
}

}  // namespace

BENCHMARK(BM_ReadFileNamedInEnvironment)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReadLargestPedsimFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLargestNamedReversed)->Unit(benchmark::kMillisecond);
