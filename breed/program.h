// A breeding program as pedsim-breed reads it from its TOML file: the trait
// model (pedsim-traits' keys, read by its reader), the base generation, the
// selection, the mating and the ages at which parents leave.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "traits/model.h"

namespace pedsim::breed {

// What ranks the candidates.
enum class Criterion {
    random,          // a uniform draw of each candidate in each round
    phenotype,       // the mean of the candidate's own records
    tbv,             // the true breeding values
    parent_average,  // the mean of the parents' BLUP breeding values
    blup,            // the candidate's own BLUP breeding values
};

// Which pairs a mating must avoid.
enum class MatingDesign {
    random,           // any sire with any dam
    avoid_full_sibs,  // no sire and dam of the same two known parents
    avoid_half_sibs,  // no sire and dam sharing a known parent
};

// Who has records: every trait's recorded_sex narrowed to this sex.
enum class Recorded {
    all,
    females,
    males
};

struct BreedingProgram {
    traits::TraitModel model;
    std::size_t generations = 0;  // rounds of selection after the base
    std::size_t base_males = 0;   // unrelated, non-inbred founders of generation 0
    std::size_t base_females = 0;
    Criterion criterion = Criterion::random;
    std::vector<double> index;  // weight of each trait in the index, one per trait
    std::size_t sires = 0;      // chosen in each round among the male candidates
    std::size_t dams = 0;       // and among the female candidates
    Recorded recorded = Recorded::all;
    std::size_t offspring = 0;  // per dam and round
    MatingDesign design = MatingDesign::random;
    std::size_t sire_generations = 1;  // rounds a male stays a candidate
    std::size_t dam_generations = 1;

    // True when the criterion needs an evaluation by BLUP.
    bool evaluates() const
    {
        return criterion == Criterion::blup || criterion == Criterion::parent_average;
    }
    // Animals of the whole run: the base and every round's offspring.
    std::size_t animal_count() const
    {
        return base_males + base_females + generations * dams * offspring;
    }
};

// Most animals a run may make: the pedigree indexes them in 32 bits.
inline constexpr std::size_t most_animals = 2'000'000'000;

// Reads the whole text of a program file. The trait keys are pedsim-traits'
// (traits::read_model, mean optional), without fixed, maternal,
// direct_maternal, maternal_permanent, threshold and recorded_generations,
// which a breeding program does not simulate. Its own keys: generations
// (0 .. 10000), [base] males and females (>= 1), [selection] criterion
// (random, phenotype, tbv, parent_average, blup), index (one weight per
// trait, not all 0; [1.0] by default with one trait), sires and dams (>= 1,
// at most the base's and the expected offspring of each sex, dams *
// offspring / 2), recorded ("all", "females", "males"), [mating] offspring
// (>= 1) and design (random, avoid_full_sibs, avoid_half_sibs), [ages]
// sire_generations and dam_generations (1 .. 100). Throws a Failure
// (input_refused) "FILE: line N: KEY: what is wrong; what to do" for any
// unknown key, a value of the wrong type, an impossible number, a
// criterion that cannot rank (phenotype without records of both sexes;
// BLUP with a singular additive, residual or permanent matrix), a recorded
// sex that leaves a trait without records, a design no mating can meet
// (avoid_half_sibs with one sire, avoid_full_sibs with one sire and one
// dam) and a run of more than most_animals animals.
BreedingProgram read_program(std::string_view text, std::string_view file_name);

}  // namespace pedsim::breed
