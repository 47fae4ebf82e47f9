// True breeding values, permanent effects and records of every animal of a
// pedigree under a trait model, exact in distribution under inbreeding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model.h"
#include "pedigree/pedigree.h"

namespace pedsim::traits {

// What the simulation draws, per animal in the pedigree's order; values of
// several traits stand together, animal by animal (row-major).
struct Simulated {
    std::size_t traits = 0;
    std::size_t records = 0;             // records per recorded animal
    std::vector<double> msv;             // Mendelian sampling fraction of each animal
    std::vector<double> breeding_value;  // N x traits
    std::vector<double> permanent;       // N x traits; empty without permanent effects
    std::vector<double> residual;        // N x records x traits; 0 where not recorded
    std::vector<std::uint8_t> recorded;  // 1 when the animal has records

    double value(std::size_t animal, std::size_t trait) const
    {
        return breeding_value[animal * traits + trait];
    }
};

// Simulates every animal, parents first: a founder's breeding value is
// drawn from N(0, G); any other animal's is a = (a_sire + a_dam)/2 + m with
// m ~ N(0, msv G), an unknown parent counting as a base animal of value 0,
// and msv from stats::mendelian_variance (1/2 - (F_s + F_d)/4, 3/4 - F_p/4
// or 1). An animal in the model's recorded generations gets pe ~ N(0, P) and
// a residual e ~ N(0, R) per record. Every deviate comes from the animal's own
// stream (animal_draws.h); the draws run on `threads` threads (>= 1), each
// on its own consecutive animals, so the results do not depend on their
// number. `inbreeding` holds F of every animal.
Simulated simulate(const stats::Pedigree& pedigree, const std::vector<double>& inbreeding,
                   const TraitModel& model, std::uint64_t seed, std::size_t threads);

// The phenotype of record `record` of a recorded animal for `trait`:
// y = mean + a + pe + e + b F, b the model's inbreeding depression.
double phenotype(const Simulated& simulated, const TraitModel& model,
                 const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                 std::size_t trait);

}  // namespace pedsim::traits
