// The texts pedsim-breed writes: the pedigree, the animals and the summary
// of each generation.
#pragma once

#include <cstdint>
#include <string>

#include "breed/breeding_run.h"
#include "breed/program.h"

namespace pedsim::breed {

// Tab-separated with the header "animal sire dam generation sex": one row per
// animal, parents "0" when unknown, sex M or F.
std::string pedigree_table(const Population& population);

// One row per animal: animal sire dam generation sex F msv, for each trait
// tbv_T, ebv_T (blup and parent_average: the estimate that ranked the
// animal's generation) and pe_T (with permanent effects), then index (empty
// for an animal never a candidate) and selected (sire, dam or empty).
std::string animals_table(const BreedingRun& run, const BreedingProgram& program);

// "# key: value" lines about the run, then one row per generation:
// generation candidates_male candidates_female sires dams mean_F
// mean_coancestry, per trait mean_tbv_T var_tbv_T mean_ebv_T accuracy_T,
// then intensity_sires intensity_dams and, for phenotype selection on one
// trait in discrete generations, expected_response expected_var_tbv (the
// prediction from the base variance and each round's realised proportions
// and parents' F). The figures of F, coancestry, values and accuracy are of
// the animals born in the generation (the round's candidates in discrete
// generations); the var is the sample variance (n - 1); accuracy the
// correlation of the estimate with the true value; an empty cell where a
// figure is undefined.
std::string summary_table(const BreedingRun& run, const BreedingProgram& program,
                          std::uint64_t seed);

// True when the summary carries the prediction.
bool predicted(const BreedingProgram& program);

}  // namespace pedsim::breed
