// True breeding values, permanent effects and records of every animal of a
// pedigree under a trait model, exact in distribution under inbreeding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pedigree/pedigree.h"
#include "traits/fixed_effects.h"
#include "traits/model.h"

namespace pedsim::traits {

// What the simulation draws, per animal in the pedigree's order; values of
// several traits stand together, animal by animal (row-major).
struct Simulated {
    std::size_t traits = 0;
    std::size_t records = 0;             // most records per recorded animal, of any trait
    std::vector<double> msv;             // Mendelian sampling fraction of each animal
    std::vector<double> breeding_value;  // N x traits
    std::vector<double> permanent;       // N x traits; empty without permanent effects
    std::vector<double> residual;        // N x records x traits; 0 where not recorded
    std::vector<std::uint8_t> recorded;  // 1 when the animal is in the recorded generations
    // 1 when record r of trait t exists (N x records x traits): the animal
    // is recorded, r is below the trait's count, its sex fits and the record
    // was kept.
    std::vector<std::uint8_t> kept;
    std::vector<pedigree::Sex> sex;          // as animal_sexes reads it
    std::vector<pedigree::AnimalIndex> dam;  // each animal's dam, for maternal effects
    std::vector<double> maternal;            // N x traits; empty without maternal effects
    std::vector<double> maternal_permanent;  // N x traits; empty without them
    std::vector<FixedLevels> fixed;          // per fixed effect of the model

    double value(std::size_t animal, std::size_t trait) const
    {
        return breeding_value[animal * traits + trait];
    }
    bool has_record(std::size_t animal, std::size_t record, std::size_t trait) const
    {
        return kept[(animal * records + record) * traits + trait] != 0;
    }
    // True when record `record` of the animal exists for some trait.
    bool has_row(std::size_t animal, std::size_t record) const;
};

// Simulates every animal, parents first: a founder's breeding value is
// drawn from N(0, G); any other animal's is a = (a_sire + a_dam)/2 + m with
// m ~ N(0, msv G), an unknown parent counting as a base animal of value 0,
// and msv from relationship::mendelian_variance (1/2 - (F_s + F_d)/4, 3/4 - F_p/4
// or 1). With maternal effects the direct and maternal values are drawn
// jointly by the same rule from the joint matrix. An animal in the model's
// recorded generations gets pe ~ N(0, P) and a residual e ~ N(0, R) per
// record; record r of trait t is kept when r < records_t, the animal's sex
// fits recorded_sex_t and a uniform of its stream DrawStream::record_kept
// (index r x traits + t) is at most recorded_fraction_t. Every animal gets
// its maternal permanent effect ~ N(0, maternal_permanent), used in its
// offspring's records. Every deviate comes from the animal's own
// stream (animal_draws.h); the draws run on `threads` threads (>= 1), each
// on its own consecutive animals, so the results do not depend on their
// number. `inbreeding` holds F of every animal.
Simulated simulate(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                   const TraitModel& model, std::uint64_t seed, std::size_t threads);

// Extends `simulated`, drawn by earlier calls for the first
// simulated.msv.size() animals of `pedigree` (none at first), to all of its
// animals: each added animal gets exactly the values simulate would give it
// in the whole pedigree. For a pedigree that grows by whole generations, as a
// breeding program's does. Assumes a sex column (pedigree.sex), a model
// without fixed or maternal effects, and F of every animal in `inbreeding`.
void simulate_added(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                    const TraitModel& model, std::uint64_t seed, std::size_t threads,
                    Simulated& simulated);

// The phenotype of record `record` of a recorded animal for `trait`:
// y = mean + fixed effects + a + pe + e + b F + m_dam + mpe_dam, b the
// model's inbreeding depression, the dam's terms with maternal effects and a
// known dam. For a threshold trait this is the liability.
double phenotype(const Simulated& simulated, const TraitModel& model,
                 const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                 std::size_t trait);

// The value a record shows: the phenotype, or for a threshold trait the
// category, the number of thresholds below the liability.
double record_value(const Simulated& simulated, const TraitModel& model,
                    const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                    std::size_t trait);

}  // namespace pedsim::traits
