// The animals of a breeding program, generation after generation: the
// pedigree, F, the true values and records drawn as pedsim-traits draws
// them, and what the selection gave each animal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "breed/program.h"
#include "pedigree/pedigree.h"
#include "traits/breeding_values.h"

namespace pedsim::breed {

// What became of an animal in the selection.
enum class Role : std::uint8_t {
    none,
    sire,
    dam
};

struct Population {
    pedigree::Pedigree pedigree;     // names "1", "2", ... in order; sex column filled
    std::vector<double> inbreeding;  // F of each animal
    traits::Simulated simulated;     // msv, true values, records
    // Per animal, from the round in which its own generation were the
    // candidates: the criterion's estimate of its breeding values (traits
    // per animal, NaN where the criterion gives none) and its index.
    std::vector<double> estimate;
    std::vector<double> index;
    std::vector<Role> role;  // chosen as a sire or a dam in some round

    std::size_t size() const { return pedigree.size(); }
};

// A pair of parents and the animals they have.
struct Mating {
    pedigree::AnimalIndex sire;
    pedigree::AnimalIndex dam;
};

// Adds the base generation (generation 0): program.base_males males, then
// the females, unrelated and not inbred, with their values and records.
void add_base(Population& population, const BreedingProgram& program, std::uint64_t seed,
              std::size_t threads);

// Adds generation `generation`: program.offspring animals of each mating, in
// the order of the matings, each one's sex drawn fairly (BreedStream::sex),
// F from its parents' coancestry (mating_inbreeding), and their values and
// records.
void add_offspring(Population& population, const BreedingProgram& program,
                   const std::vector<Mating>& matings, std::int64_t generation, std::uint64_t seed,
                   std::size_t threads);

// F of the offspring of each mating: half the additive relationship of its
// sire and dam, a column of A = T D T' found by two passes over the pedigree
// (Colleau 2002) for each distinct sire, never from A itself: O(N) per sire,
// the sires on `threads` threads, each with its own column, so the values do
// not depend on their number. `mendelian_variance` is D.
std::vector<double> mating_inbreeding(const pedigree::Pedigree& pedigree,
                                      const std::vector<double>& mendelian_variance,
                                      const std::vector<Mating>& matings, std::size_t threads);

}  // namespace pedsim::breed
