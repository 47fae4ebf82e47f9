#include "breed/selection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "breed/draws.h"

namespace pedsim::breed {

namespace {

constexpr double missing = std::numeric_limits<double>::quiet_NaN();

bool born_within(std::int64_t generation, std::int64_t round, std::size_t generations)
{
    return generation <= round && generation > round - static_cast<std::int64_t>(generations);
}

// The mean of the animal's records of `trait`; NaN without one.
double record_mean(const Population& population, const traits::TraitModel& model,
                   std::size_t animal, std::size_t trait)
{
    const traits::Simulated& simulated = population.simulated;
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t r = 0; simulated.recorded[animal] && r < simulated.records; ++r)
        if (simulated.has_record(animal, r, trait)) {
            sum += traits::phenotype(simulated, model, population.inbreeding, animal, r, trait);
            ++count;
        }
    return count == 0 ? missing : sum / static_cast<double>(count);
}

// Phenotypes: each animal's mean, its generation's mean where it has none.
void phenotypes(const Population& population, const traits::TraitModel& model,
                std::vector<double>& values)
{
    const std::size_t n = model.trait_count();
    const std::int64_t last = population.pedigree.generation.back();
    std::vector<double> sum(static_cast<std::size_t>(last + 1) * n, 0.0);
    std::vector<std::size_t> count(sum.size(), 0);
    for (std::size_t i = 0; i < population.size(); ++i)
        for (std::size_t t = 0; t < n; ++t) {
            values[i * n + t] = record_mean(population, model, i, t);
            const std::size_t cell =
                static_cast<std::size_t>(population.pedigree.generation[i]) * n + t;
            if (!std::isnan(values[i * n + t])) {
                sum[cell] += values[i * n + t];
                ++count[cell];
            }
        }
    for (std::size_t i = 0; i < population.size(); ++i)
        for (std::size_t t = 0; t < n; ++t) {
            const std::size_t cell =
                static_cast<std::size_t>(population.pedigree.generation[i]) * n + t;
            if (std::isnan(values[i * n + t]))
                values[i * n + t] =
                    count[cell] == 0 ? 0.0 : sum[cell] / static_cast<double>(count[cell]);
        }
}

void parent_averages(const Population& population, std::size_t n, const std::vector<double>& ebv,
                     std::vector<double>& values)
{
    const auto of = [&](pedigree::AnimalIndex parent, std::size_t t) {
        return parent == pedigree::unknown ? 0.0 : ebv[static_cast<std::size_t>(parent) * n + t];
    };
    for (std::size_t i = 0; i < population.size(); ++i)
        for (std::size_t t = 0; t < n; ++t)
            values[i * n + t] =
                0.5 * (of(population.pedigree.sire[i], t) + of(population.pedigree.dam[i], t));
}

}  // namespace

Candidates candidates_of(const Population& population, const BreedingProgram& program,
                         std::int64_t round)
{
    Candidates candidates;
    for (std::size_t i = 0; i < population.size(); ++i) {
        const std::int64_t generation = population.pedigree.generation[i];
        const auto animal = static_cast<pedigree::AnimalIndex>(i);
        if (population.pedigree.sex[i] == pedigree::Sex::male &&
            born_within(generation, round, program.sire_generations))
            candidates.males.push_back(animal);
        if (population.pedigree.sex[i] == pedigree::Sex::female &&
            born_within(generation, round, program.dam_generations))
            candidates.females.push_back(animal);
    }
    return candidates;
}

std::vector<double> criterion_values(const Population& population, const BreedingProgram& program,
                                     const std::vector<double>& ebv, std::uint64_t seed,
                                     std::int64_t round)
{
    const std::size_t n = program.model.trait_count();
    std::vector<double> values(population.size() * n, missing);
    switch (program.criterion) {
    case Criterion::random:
        for (std::size_t i = 0; i < population.size(); ++i)
            std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(i * n), n,
                        uniform_of(seed, population.pedigree.names[i], BreedStream::ranking,
                                   static_cast<std::uint64_t>(round)));
        break;
    case Criterion::phenotype:
        phenotypes(population, program.model, values);
        break;
    case Criterion::tbv:
        values = population.simulated.breeding_value;
        break;
    case Criterion::blup:
        values = ebv;
        break;
    case Criterion::parent_average:
        parent_averages(population, n, ebv, values);
        break;
    }
    return values;
}

double index_of(const std::vector<double>& values, const BreedingProgram& program,
                std::size_t animal)
{
    const std::size_t n = program.model.trait_count();
    double sum = 0;
    for (std::size_t t = 0; t < n; ++t) sum += program.index[t] * values[animal * n + t];
    return sum;
}

std::vector<pedigree::AnimalIndex> truncation(const std::vector<pedigree::AnimalIndex>& candidates,
                                              const std::vector<double>& index, std::size_t count)
{
    std::vector<pedigree::AnimalIndex> ranked = candidates;
    // The candidates stand in the pedigree's order: a stable sort keeps the
    // earlier of two equal ones first.
    std::stable_sort(
        ranked.begin(), ranked.end(), [&](pedigree::AnimalIndex a, pedigree::AnimalIndex b) {
            return index[static_cast<std::size_t>(a)] > index[static_cast<std::size_t>(b)];
        });
    ranked.resize(std::min(count, ranked.size()));
    return ranked;
}

double intensity(const std::vector<pedigree::AnimalIndex>& candidates,
                 const std::vector<pedigree::AnimalIndex>& chosen, const std::vector<double>& index)
{
    const auto mean = [&](const std::vector<pedigree::AnimalIndex>& animals) {
        double sum = 0;
        for (const pedigree::AnimalIndex a : animals) sum += index[static_cast<std::size_t>(a)];
        return sum / static_cast<double>(animals.size());
    };
    if (candidates.size() < 2 || chosen.empty()) return missing;
    const double m = mean(candidates);
    double squares = 0;
    for (const pedigree::AnimalIndex a : candidates)
        squares +=
            (index[static_cast<std::size_t>(a)] - m) * (index[static_cast<std::size_t>(a)] - m);
    const double sd = std::sqrt(squares / static_cast<double>(candidates.size() - 1));
    return sd > 0 ? (mean(chosen) - m) / sd : missing;
}

bool breaks_design(const pedigree::Pedigree& pedigree, MatingDesign design,
                   pedigree::AnimalIndex sire, pedigree::AnimalIndex dam)
{
    const auto s = static_cast<std::size_t>(sire), d = static_cast<std::size_t>(dam);
    const auto same = [](pedigree::AnimalIndex a, pedigree::AnimalIndex b) {
        return a != pedigree::unknown && a == b;
    };
    const bool same_sire = same(pedigree.sire[s], pedigree.sire[d]);
    const bool same_dam = same(pedigree.dam[s], pedigree.dam[d]);
    switch (design) {
    case MatingDesign::random:
        return false;
    case MatingDesign::avoid_full_sibs:
        return same_sire && same_dam;
    case MatingDesign::avoid_half_sibs:
        return same_sire || same_dam;
    }
    return false;
}

namespace {

// Swaps sires between dams until no pair breaks the design, or no swap helps.
std::size_t meet_design(const pedigree::Pedigree& pedigree, MatingDesign design,
                        std::vector<Mating>& pairs)
{
    std::size_t unmet = 0;
    const auto breaks = [&](const Mating& m) {
        return breaks_design(pedigree, design, m.sire, m.dam);
    };
    for (std::size_t j = 0; j < pairs.size(); ++j) {
        if (!breaks(pairs[j])) continue;
        bool fixed = false;
        for (std::size_t k = 0; k < pairs.size() && !fixed; ++k) {
            if (k == j || pairs[k].sire == pairs[j].sire) continue;
            if (breaks_design(pedigree, design, pairs[k].sire, pairs[j].dam) ||
                breaks_design(pedigree, design, pairs[j].sire, pairs[k].dam))
                continue;
            std::swap(pairs[j].sire, pairs[k].sire);
            fixed = true;
        }
        unmet += !fixed;
    }
    return unmet;
}

}  // namespace

Matings mate(const Population& population, const BreedingProgram& program,
             const std::vector<pedigree::AnimalIndex>& sires,
             const std::vector<pedigree::AnimalIndex>& dams, std::uint64_t seed, std::int64_t round)
{
    std::vector<std::pair<double, pedigree::AnimalIndex>> order;
    for (const pedigree::AnimalIndex dam : dams)
        order.emplace_back(uniform_of(seed,
                                      population.pedigree.names[static_cast<std::size_t>(dam)],
                                      BreedStream::mating, static_cast<std::uint64_t>(round)),
                           dam);
    std::sort(order.begin(), order.end());
    Matings matings;
    for (std::size_t k = 0; k < order.size(); ++k)
        matings.pairs.push_back({sires[k % sires.size()], order[k].second});
    matings.unmet = meet_design(population.pedigree, program.design, matings.pairs);
    std::sort(matings.pairs.begin(), matings.pairs.end(),
              [](const Mating& a, const Mating& b) { return a.dam < b.dam; });
    return matings;
}

}  // namespace pedsim::breed
