// The genetic evaluation at the scale of a breeding program: a pedigree of
// discrete generations, each bred from a few sires and many dams of the one
// before, one record per animal with its generation as the fixed class; the
// mixed-model equations built and solved from zero. F is 0 throughout (the
// work does not depend on its values).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "evaluation/mixed_model.h"

namespace {

using pedsim::evaluation::AnimalIndex;

// A stateless hash (splitmix64's finaliser): the same pedigree and records on
// every run, whatever the standard library.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

double uniform(std::uint64_t key) { return static_cast<double>(mix(key) >> 11) * 0x1.0p-53; }

struct Program {
    pedsim::evaluation::PedigreeLinks pedigree;
    pedsim::evaluation::Records records;
};

// Even positions of a generation are its males. Sires are drawn among the
// generation's first `sires` males, dams among its first `dams` females.
Program breeding_program(std::size_t generations, std::size_t per_generation, std::size_t sires,
                         std::size_t dams)
{
    Program p;
    const std::size_t animals = generations * per_generation;
    p.records.values.resize(static_cast<Eigen::Index>(animals), 1);
    for (std::size_t i = 0; i < animals; ++i) {
        const std::size_t generation = i / per_generation;
        AnimalIndex sire = pedsim::evaluation::unknown_parent;
        AnimalIndex dam = pedsim::evaluation::unknown_parent;
        if (generation > 0) {
            const std::size_t first = (generation - 1) * per_generation;
            sire = static_cast<AnimalIndex>(first + 2 * (mix(2 * i) % sires));
            dam = static_cast<AnimalIndex>(first + 2 * (mix(2 * i + 1) % dams) + 1);
        }
        p.pedigree.sire.push_back(sire);
        p.pedigree.dam.push_back(dam);
        p.pedigree.inbreeding.push_back(0.0);
        p.records.animal.push_back(i);
        p.records.fixed_class.push_back(generation);
        p.records.values(static_cast<Eigen::Index>(i), 0) =
            uniform(3 * i) + uniform(3 * i + 1) + uniform(3 * i + 2);
    }
    return p;
}

// Arguments: generations, animals per generation.
void BM_EvaluateOneTrait(benchmark::State& state)
{
    const auto generations = static_cast<std::size_t>(state.range(0));
    const auto per_generation = static_cast<std::size_t>(state.range(1));
    const Program p = breeding_program(generations, per_generation, 100, per_generation / 5);
    const pedsim::evaluation::Variances variances{Eigen::MatrixXd::Constant(1, 1, 0.3),
                                                  Eigen::MatrixXd::Constant(1, 1, 0.7),
                                                  Eigen::MatrixXd()};
    std::size_t iterations = 0;
    for (auto _ : state) {
        const auto equations = pedsim::evaluation::mixed_model_equations(p.pedigree, p.records,
                                                                         variances, generations);
        pedsim::evaluation::Solutions solutions;
        iterations = pedsim::evaluation::solve_mixed_model(equations, solutions, {}).iterations;
        benchmark::DoNotOptimize(solutions.animal.data());
    }
    state.counters["cg_iterations"] = static_cast<double>(iterations);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(p.pedigree.size()));
}
BENCHMARK(BM_EvaluateOneTrait)
    ->Args({10, 10000})
    ->Args({20, 50000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
