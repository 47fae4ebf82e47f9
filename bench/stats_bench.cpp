// The statistics in process: analyse() on pedsim's flock and largest
// pedigrees (discrete generations; the largest also with one dam unknown) and on a real-shaped pedigree of a million
// animals (overlapping generations, the general method), beside a plain
// textbook ancestor-path computation of F. Only the analysis is timed; the
// pedigrees are made once, read from text as the program reads its input.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "design/parameter_checks.h"
#include "design/parameters.h"
#include "measures/analysis.h"
#include "pedigree/pedigree_reader.h"
#include "relationship/inbreeding_by_paths.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace {

using pedsim::pedigree::AnimalIndex;
using pedsim::pedigree::Pedigree;

Pedigree simulated(const pedsim::design::Parameters& design)
{
    pedsim::random::UniformGenerator generator;
    return pedsim::pedigree::read_pedigree(
        pedsim::sim::pedigree_text(pedsim::sim::simulate(design, generator), design.ngen), "pedig");
}

// A herd book: `years` birth years of `births` animals, the first year's
// founders; later each birth has a sire among `sires` males and a dam among
// `dams` females drawn that year from the animals born 1 to 4 years before,
// 2% of sires and 1% of dams unknown. Rows are shuffled, identifiers are
// random numbers, the fourth column is the birth year.
std::string real_shaped_text(int years, int births, int sires, int dams)
{
    std::mt19937_64 random(20240607);
    std::vector<std::int64_t> sire, dam, year;
    std::vector<bool> male;
    for (int y = 0; y < years; ++y) {
        std::vector<std::int64_t> males, females, chosen_sires, chosen_dams;
        for (std::size_t a = 0; a < year.size(); ++a)
            if (year[a] >= y - 4)
                (male[a] ? males : females).push_back(static_cast<std::int64_t>(a));
        std::ranges::sample(males, std::back_inserter(chosen_sires), sires, random);
        std::ranges::sample(females, std::back_inserter(chosen_dams), dams, random);
        for (int b = 0; b < births; ++b) {
            const bool founder = y == 0;
            sire.push_back(
                founder || random() % 50 == 0 ? -1 : chosen_sires[random() % chosen_sires.size()]);
            dam.push_back(
                founder || random() % 100 == 0 ? -1 : chosen_dams[random() % chosen_dams.size()]);
            year.push_back(y);
            male.push_back(random() % 2 == 0);
        }
    }
    std::vector<std::int64_t> id(year.size()), row(year.size());
    for (std::size_t a = 0; a < id.size(); ++a) id[a] = row[a] = static_cast<std::int64_t>(a);
    std::ranges::shuffle(id, random);
    std::ranges::shuffle(row, random);
    const auto name = [&](std::int64_t a) {
        return a < 0 ? std::string("0") : std::to_string(10'000'000 + id[a]);
    };
    std::string text = "animal,sire,dam,year\n";
    for (const std::int64_t a : row)
        text += name(a) + ',' + name(sire[a]) + ',' + name(dam[a]) + ',' + std::to_string(year[a]) +
                '\n';
    return text;
}

const Pedigree& flock()
{
    static const Pedigree pedigree = simulated({12, 25, 40, 3, 20, 30, 2, 271828});
    return pedigree;
}

const Pedigree& largest()
{
    static const Pedigree pedigree = simulated({97, 3000, 1, 3, 100, 10, 9, 12345});
    return pedigree;
}

// The largest pedigree with the dam of one animal, half-way through, unknown:
// the row that once sent the whole file to the general method.
const Pedigree& largest_one_dam_unknown()
{
    static const Pedigree pedigree = [] {
        Pedigree blanked = largest();
        blanked.dam[blanked.size() / 2] = pedsim::pedigree::unknown;
        return blanked;
    }();
    return pedigree;
}

const Pedigree& real_shaped()
{
    static const Pedigree pedigree =
        pedsim::pedigree::read_pedigree(real_shaped_text(25, 40'000, 300, 20'000), "herd book");
    return pedigree;
}

// A chain `depth` animals deep: animal i's sire is animal i - 1, its dam
// unknown or, with `founder_dams`, a founder of its own: one-animal
// generations that once cost a pass over the whole pedigree each.
Pedigree chain(std::int64_t depth, bool founder_dams)
{
    std::string text;
    for (std::int64_t i = 1; founder_dams && i <= depth; ++i)
        text += "d" + std::to_string(i) + " 0 0\n";
    text += "a0 0 0\n";
    for (std::int64_t i = 1; i <= depth; ++i)
        text += "a" + std::to_string(i) + " a" + std::to_string(i - 1) + " " +
                (founder_dams ? "d" + std::to_string(i) : std::string("0")) + "\n";
    return pedsim::pedigree::read_pedigree(text, "chain");
}

// 20 generations of `families` full-sib families of two, each family's son
// mated with a random other family's daughter: as many families of parents
// in every generation, the case where the matrix carried forward meets its
// memory limit (about 7,900 families at this size).
Pedigree family_limit(std::int64_t families)
{
    std::mt19937_64 random(8192);
    const auto name = [](std::int64_t g, std::int64_t f, int s) {
        return "g" + std::to_string(g) + "f" + std::to_string(f) + "s" + std::to_string(s);
    };
    std::string text;
    for (std::int64_t g = 0; g < 20; ++g)
        for (std::int64_t f = 0; f < families; ++f) {
            const auto mate =
                static_cast<std::int64_t>((static_cast<std::uint64_t>(f) + 1 +
                                           random() % static_cast<std::uint64_t>(families - 1)) %
                                          static_cast<std::uint64_t>(families));
            for (int sib = 0; sib < 2; ++sib) {
                text += name(g, f, sib);
                text += g == 0 ? std::string(" 0 0")
                               : " " + name(g - 1, f, 0) + " " + name(g - 1, mate, 1);
                text += " " + std::to_string(g) + "\n";
            }
        }
    return pedsim::pedigree::read_pedigree(text, "family limit");
}

// The animals of the first `count` generations (or birth years), a pedigree
// of its own since parents are born before their offspring.
Pedigree first_generations(const Pedigree& pedigree, std::int64_t count)
{
    const std::int64_t limit = *std::ranges::min_element(pedigree.generation) + count;
    std::vector<AnimalIndex> kept_as(pedigree.size(), pedsim::pedigree::unknown);
    Pedigree part;
    const auto renumbered = [&](AnimalIndex a) {
        return a < 0 ? a : kept_as[static_cast<std::size_t>(a)];
    };
    for (std::size_t a = 0; a < pedigree.size(); ++a) {
        if (pedigree.generation[a] >= limit) continue;
        kept_as[a] = static_cast<AnimalIndex>(part.names.size());
        part.names.push_back(pedigree.names[a]);
        part.sire.push_back(renumbered(pedigree.sire[a]));
        part.dam.push_back(renumbered(pedigree.dam[a]));
        part.generation.push_back(pedigree.generation[a]);
    }
    return part;
}

// Meuwissen and Luo (1992) as published: the ancestors of each animal in a
// linked list ordered by decreasing number, each parent inserted by walking
// the list; L and D indexed from 1, 0 being an unknown parent with F = -1.
std::vector<double> plain_paths_inbreeding(const Pedigree& pedigree)
{
    const std::size_t n = pedigree.size();
    std::vector<std::size_t> sire(n + 1, 0), dam(n + 1, 0), next(n + 1, 0);
    std::vector<double> f(n + 1, 0.0), d(n + 1, 0.0), l(n + 1, 0.0);
    f[0] = -1;
    for (std::size_t i = 1; i <= n; ++i) {
        sire[i] = static_cast<std::size_t>(pedigree.sire[i - 1] + 1);
        dam[i] = static_cast<std::size_t>(pedigree.dam[i - 1] + 1);
        d[i] = 0.5 - 0.25 * (f[sire[i]] + f[dam[i]]);
        if (sire[i] == 0 && dam[i] == 0) continue;
        if (sire[i] == sire[i - 1] && dam[i] == dam[i - 1]) {
            f[i] = f[i - 1];
            continue;
        }
        double fi = -1;
        l[i] = 1;
        for (std::size_t j = i; j != 0;) {
            for (const std::size_t parent : {sire[j], dam[j]}) {
                if (parent == 0) continue;
                std::size_t k = j;
                while (next[k] > parent) k = next[k];
                l[parent] += 0.5 * l[j];
                if (next[k] != parent) {
                    next[parent] = next[k];
                    next[k] = parent;
                }
            }
            fi += l[j] * l[j] * d[j];
            l[j] = 0;
            const std::size_t done = j;
            j = next[j];
            next[done] = 0;
        }
        f[i] = fi;
    }
    return {f.begin() + 1, f.end()};
}

void count_animals(benchmark::State& state, const Pedigree& pedigree)
{
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(pedigree.size()));
    state.counters["animals"] = static_cast<double>(pedigree.size());
}

void analyse(benchmark::State& state, const Pedigree& pedigree)
{
    for (auto _ : state) {
        const pedsim::measures::Analysis analysis = pedsim::measures::analyse(pedigree, {}, {});
        benchmark::DoNotOptimize(analysis.generations.data());
    }
    count_animals(state, pedigree);
}

template <class Inbreeding>
void inbreeding(benchmark::State& state, const Pedigree& pedigree, Inbreeding compute)
{
    for (auto _ : state) {
        const std::vector<double> f = compute(pedigree);
        benchmark::DoNotOptimize(f.data());
    }
    count_animals(state, pedigree);
}

const auto library_paths = [](const Pedigree& p) {
    return pedsim::relationship::inbreeding_by_paths(p, {}).inbreeding;
};

void BM_AnalyseFlock(benchmark::State& state) { analyse(state, flock()); }
void BM_AnalyseLargest(benchmark::State& state) { analyse(state, largest()); }
void BM_AnalyseLargestOneDamUnknown(benchmark::State& state)
{
    analyse(state, largest_one_dam_unknown());
}
void BM_AnalyseRealShaped(benchmark::State& state) { analyse(state, real_shaped()); }
void BM_PlainPathsFlock(benchmark::State& state)
{
    inbreeding(state, flock(), plain_paths_inbreeding);
}

// Tracing every ancestor of the 97-generation largest pedigree takes hours,
// so the ancestor-path computations run on its first generations (6,000
// animals each), as many as the argument; likewise the plain one on the
// real-shaped pedigree's first birth years (40,000 animals each).
void BM_PathsLargestPrefix(benchmark::State& state)
{
    inbreeding(state, first_generations(largest(), state.range(0)), library_paths);
}
void BM_PlainPathsLargestPrefix(benchmark::State& state)
{
    inbreeding(state, first_generations(largest(), state.range(0)), plain_paths_inbreeding);
}
void BM_PathsRealShapedPrefix(benchmark::State& state)
{
    inbreeding(state, first_generations(real_shaped(), state.range(0)), library_paths);
}
void BM_PlainPathsRealShapedPrefix(benchmark::State& state)
{
    inbreeding(state, first_generations(real_shaped(), state.range(0)), plain_paths_inbreeding);
}

BENCHMARK(BM_AnalyseFlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainPathsFlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnalyseLargest)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyseLargestOneDamUnknown)->Unit(benchmark::kMillisecond)->Iterations(1);
void BM_AnalyseChain(benchmark::State& state) { analyse(state, chain(state.range(0), false)); }
void BM_AnalyseChainFounderDams(benchmark::State& state)
{
    analyse(state, chain(state.range(0), true));
}
void BM_AnalyseFamilyLimit(benchmark::State& state)
{
    analyse(state, family_limit(state.range(0)));
}
BENCHMARK(BM_AnalyseChain)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyseChainFounderDams)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AnalyseFamilyLimit)
    ->Arg(7'900)
    ->Arg(8'192)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_PathsLargestPrefix)
    ->Arg(10)
    ->Arg(13)
    ->Arg(20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_PlainPathsLargestPrefix)
    ->Arg(10)
    ->Arg(13)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_AnalyseRealShaped)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PathsRealShapedPrefix)
    ->Arg(5)
    ->Arg(10)
    ->Arg(25)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_PlainPathsRealShapedPrefix)
    ->Arg(5)
    ->Arg(10)
    ->Arg(25)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
