#include "breed/population.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "breed/draws.h"
#include "shell/parallel.h"

namespace pedsim::breed {

namespace {

void add_animal(Population& population, pedigree::AnimalIndex sire, pedigree::AnimalIndex dam,
                std::int64_t generation, pedigree::Sex sex, double inbreeding, std::size_t traits)
{
    pedigree::Pedigree& pedigree = population.pedigree;
    pedigree.names.push_back(std::to_string(pedigree.size() + 1));
    pedigree.sire.push_back(sire);
    pedigree.dam.push_back(dam);
    pedigree.generation.push_back(generation);
    pedigree.sex.push_back(sex);
    population.inbreeding.push_back(inbreeding);
    population.estimate.insert(population.estimate.end(), traits,
                               std::numeric_limits<double>::quiet_NaN());
    population.index.push_back(std::numeric_limits<double>::quiet_NaN());
    population.role.push_back(Role::none);
}

// The column A e_s of the relationship matrix for sire s, A = T D T': the
// backward pass u = T' e_s over the ancestors of s, then the forward pass
// w = T D u up to animal `last`.
void relationship_column(const pedigree::Pedigree& pedigree, const std::vector<double>& d,
                         std::size_t sire, std::size_t last, std::vector<double>& u,
                         std::vector<double>& w)
{
    std::fill(u.begin(), u.end(), 0.0);
    u[sire] = 1.0;
    for (std::size_t i = sire + 1; i-- > 0;) {
        if (u[i] == 0.0) continue;
        if (pedigree.sire[i] != pedigree::unknown)
            u[static_cast<std::size_t>(pedigree.sire[i])] += 0.5 * u[i];
        if (pedigree.dam[i] != pedigree::unknown)
            u[static_cast<std::size_t>(pedigree.dam[i])] += 0.5 * u[i];
    }
    for (std::size_t i = 0; i <= last; ++i) {
        double value = d[i] * u[i];
        if (pedigree.sire[i] != pedigree::unknown)
            value += 0.5 * w[static_cast<std::size_t>(pedigree.sire[i])];
        if (pedigree.dam[i] != pedigree::unknown)
            value += 0.5 * w[static_cast<std::size_t>(pedigree.dam[i])];
        w[i] = value;
    }
}

}  // namespace

void add_base(Population& population, const BreedingProgram& program, std::uint64_t seed,
              std::size_t threads)
{
    const std::size_t traits = program.model.trait_count();
    for (std::size_t k = 0; k < program.base_males + program.base_females; ++k)
        add_animal(population, pedigree::unknown, pedigree::unknown, 0,
                   k < program.base_males ? pedigree::Sex::male : pedigree::Sex::female, 0.0,
                   traits);
    traits::simulate_added(population.pedigree, population.inbreeding, program.model, seed, threads,
                           population.simulated);
}

std::vector<double> mating_inbreeding(const pedigree::Pedigree& pedigree,
                                      const std::vector<double>& mendelian_variance,
                                      const std::vector<Mating>& matings, std::size_t threads)
{
    std::vector<pedigree::AnimalIndex> sires;
    for (const Mating& mating : matings) sires.push_back(mating.sire);
    std::sort(sires.begin(), sires.end());
    sires.erase(std::unique(sires.begin(), sires.end()), sires.end());
    std::size_t last = 0;
    for (const Mating& mating : matings)
        last = std::max(last, static_cast<std::size_t>(mating.dam));
    std::vector<double> inbreeding(matings.size(), 0.0);
    // Each worker keeps its own two columns; each mating's value is written
    // by the chunk of its sire alone.
    const std::size_t workers = std::max<std::size_t>(threads, 1);
    std::vector<std::vector<double>> u(workers), w(workers);
    shell::for_each_chunk(
        sires.size(), 1,
        [&](std::size_t begin, std::size_t end, std::size_t worker) {
            u[worker].resize(pedigree.size());
            w[worker].resize(pedigree.size());
            for (std::size_t k = begin; k < end; ++k) {
                const auto sire = static_cast<std::size_t>(sires[k]);
                relationship_column(pedigree, mendelian_variance, sire, last, u[worker], w[worker]);
                for (std::size_t m = 0; m < matings.size(); ++m)
                    if (matings[m].sire == sires[k])
                        inbreeding[m] = 0.5 * w[worker][static_cast<std::size_t>(matings[m].dam)];
            }
        },
        workers);
    return inbreeding;
}

void add_offspring(Population& population, const BreedingProgram& program,
                   const std::vector<Mating>& matings, std::int64_t generation, std::uint64_t seed,
                   std::size_t threads)
{
    const std::vector<double> inbreeding =
        mating_inbreeding(population.pedigree, population.simulated.msv, matings, threads);
    const std::size_t traits = program.model.trait_count();
    for (std::size_t m = 0; m < matings.size(); ++m)
        for (std::size_t k = 0; k < program.offspring; ++k) {
            const std::string name = std::to_string(population.size() + 1);
            // A fair coin: the uniform lies in (0, 1].
            const bool male = uniform_of(seed, name, BreedStream::sex) <= 0.5;
            add_animal(population, matings[m].sire, matings[m].dam, generation,
                       male ? pedigree::Sex::male : pedigree::Sex::female, inbreeding[m], traits);
        }
    traits::simulate_added(population.pedigree, population.inbreeding, program.model, seed, threads,
                           population.simulated);
}

}  // namespace pedsim::breed
