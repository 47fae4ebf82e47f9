#include "pedigree/pedigree_generations.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "pedigree/pedigree_rows.h"

namespace pedsim::pedigree {

// Generations read from the rows; an added parent's is one less than the
// earliest of its offspring's; an animal without one (a missing value)
// takes 1 + the latest of its known parents', a founder the earliest
// generation of the file.
std::vector<std::int64_t> given_generations(const std::vector<std::int64_t>& given,
                                            const NamedAnimals& animals,
                                            const std::vector<AnimalIndex>& order)
{
    std::vector<std::int64_t> generation(animals.size(), no_generation);
    std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
    for (std::size_t r = 0; r < given.size(); ++r) {
        generation[r] = given[r];
        if (given[r] != no_generation) earliest = std::min(earliest, given[r]);
    }
    for (std::size_t r = 0; r < given.size(); ++r) {
        if (given[r] == no_generation) continue;
        for (const AnimalIndex parent : {animals.sire()[r], animals.dam()[r]}) {
            const auto p = static_cast<std::size_t>(parent);
            if (parent == unknown || p < animals.rows()) continue;
            if (generation[p] == no_generation || generation[p] > given[r] - 1)
                generation[p] = given[r] - 1;
            earliest = std::min(earliest, generation[p]);
        }
    }
    if (earliest == std::numeric_limits<std::int64_t>::max()) earliest = 0;
    for (const AnimalIndex a : order) {
        const auto animal = static_cast<std::size_t>(a);
        if (generation[animal] != no_generation) continue;
        std::int64_t latest = no_generation;
        for (const AnimalIndex parent : {animals.sire()[animal], animals.dam()[animal]})
            if (parent != unknown)
                latest = std::max(latest, generation[static_cast<std::size_t>(parent)]);
        generation[animal] = latest == no_generation ? earliest : latest + 1;
    }
    return generation;
}

// Generations derived in parents-first order: 0 for a founder, else 1 + the
// latest of its known parents'.
std::vector<std::int64_t> derived_generations(const NamedAnimals& animals,
                                              const std::vector<AnimalIndex>& order)
{
    std::vector<std::int64_t> generation(animals.size(), 0);
    for (const AnimalIndex a : order) {
        const auto animal = static_cast<std::size_t>(a);
        std::int64_t latest = -1;
        for (const AnimalIndex parent : {animals.sire()[animal], animals.dam()[animal]})
            if (parent != unknown)
                latest = std::max(latest, generation[static_cast<std::size_t>(parent)]);
        generation[animal] = latest + 1;
    }
    return generation;
}

// Each animal's birth in fractional years, in the pedigree's order: the date
// of its row, or the start of its year for an animal without one (a missing
// date, a parent without a row).
std::vector<double> birth_times(const std::vector<double>& dated,
                                const std::vector<AnimalIndex>& order, const Pedigree& pedigree)
{
    std::vector<double> birth(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto animal = static_cast<std::size_t>(order[k]);
        const bool has_date = animal < dated.size() && !std::isnan(dated[animal]);
        birth[k] = has_date ? dated[animal] : static_cast<double>(pedigree.generation[k]);
    }
    return birth;
}

// Whether each animal's generation stands on its own row, in the pedigree's
// order: not for a missing value nor for a parent without a row.
std::vector<bool> recorded_generations(const std::vector<std::int64_t>& given,
                                       const std::vector<AnimalIndex>& order)
{
    std::vector<bool> recorded(order.size(), false);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto animal = static_cast<std::size_t>(order[k]);
        recorded[k] = animal < given.size() && given[animal] != no_generation;
    }
    return recorded;
}

}  // namespace pedsim::pedigree
