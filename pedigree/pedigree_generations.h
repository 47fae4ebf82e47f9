// The generations of a pedigree's animals: read from the rows, with those of
// parents without a row and of missing values taken from their kin, or
// derived from the parents alone; and the columns that go with them in the
// pedigree's order (recorded or not, birth times).
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree/indexing.h"
#include "pedigree/named_animals.h"
#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

// Generations read from the rows; an added parent's is one less than the
// earliest of its offspring's; an animal without one (a missing value)
// takes 1 + the latest of its known parents', a founder the earliest
// generation of the file. Per animal, `order` being parents first.
std::vector<std::int64_t> given_generations(const std::vector<std::int64_t>& given,
                                            const NamedAnimals& animals,
                                            const std::vector<AnimalIndex>& order);

// Generations derived in parents-first order: 0 for a founder, else 1 + the
// latest of its known parents'.
std::vector<std::int64_t> derived_generations(const NamedAnimals& animals,
                                              const std::vector<AnimalIndex>& order);

// Each animal's birth in fractional years, in the pedigree's order: the date
// of its row, or the start of its year for an animal without one (a missing
// date, a parent without a row).
std::vector<double> birth_times(const std::vector<double>& dated,
                                const std::vector<AnimalIndex>& order, const Pedigree& pedigree);

// Whether each animal's generation stands on its own row, in the pedigree's
// order: not for a missing value nor for a parent without a row.
std::vector<bool> recorded_generations(const std::vector<std::int64_t>& given,
                                       const std::vector<AnimalIndex>& order);

}  // namespace pedsim::pedigree
