// One round of a breeding program: the candidates, their criterion and
// index, truncation selection of sires and dams, and their matings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "breed/blup.h"
#include "breed/population.h"
#include "breed/program.h"

namespace pedsim::breed {

// The candidates of round `round`: the males born in the last
// sire_generations generations up to `round`, the females in the last
// dam_generations, in the pedigree's order.
struct Candidates {
    std::vector<pedigree::AnimalIndex> males;
    std::vector<pedigree::AnimalIndex> females;
};
Candidates candidates_of(const Population& population, const BreedingProgram& program,
                         std::int64_t round);

// Each animal's value of the criterion for each trait (animals x traits,
// row-major; NaN where it has none): a uniform draw of the round
// (BreedStream::ranking) for random, the mean of its records for
// phenotype (the mean of its generation's where it has none of a trait),
// its true value for tbv, `ebv` for blup, the mean of its parents' `ebv`
// (0 for an unknown parent) for parent_average.
std::vector<double> criterion_values(const Population& population, const BreedingProgram& program,
                                     const std::vector<double>& ebv, std::uint64_t seed,
                                     std::int64_t round);

// The index of `animal`: the weighted sum of its criterion values.
double index_of(const std::vector<double>& values, const BreedingProgram& program,
                std::size_t animal);

// The `count` candidates of highest index, best first; ties go to the
// animal earlier in the pedigree (the older, or the first born). All of
// them when there are fewer.
std::vector<pedigree::AnimalIndex> truncation(const std::vector<pedigree::AnimalIndex>& candidates,
                                              const std::vector<double>& index, std::size_t count);

// The standardised selection differential: (mean index of the chosen -
// mean of the candidates) / standard deviation of the candidates; NaN when
// the candidates' index does not vary.
double intensity(const std::vector<pedigree::AnimalIndex>& candidates,
                 const std::vector<pedigree::AnimalIndex>& chosen,
                 const std::vector<double>& index);

// The matings of round `round`: every dam once, the dams in an order drawn
// at random (BreedStream::mating), dam k of that order with sire k modulo
// the number of sires, so that the sires have equal numbers of dams (within
// one). The design is then met by swapping the sires of two dams where a
// pair breaks it; a dam no swap can help keeps her sire and is counted in
// the result's `unmet`. Matings come out in the order of the dams in the
// pedigree.
struct Matings {
    std::vector<Mating> pairs;
    std::size_t unmet = 0;
};
Matings mate(const Population& population, const BreedingProgram& program,
             const std::vector<pedigree::AnimalIndex>& sires,
             const std::vector<pedigree::AnimalIndex>& dams, std::uint64_t seed,
             std::int64_t round);

// True when the sire and dam are related as the design forbids.
bool breaks_design(const pedigree::Pedigree& pedigree, MatingDesign design,
                   pedigree::AnimalIndex sire, pedigree::AnimalIndex dam);

}  // namespace pedsim::breed
