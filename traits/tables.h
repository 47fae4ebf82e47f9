// The texts pedsim-traits writes: the records, the animals, the effects and
// the summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/output_files.h"
#include "pedigree/pedigree.h"
#include "traits/breeding_values.h"
#include "traits/check_table.h"
#include "traits/model.h"
#include "traits/pedigree_relatedness.h"

namespace pedsim::traits {

// Everything a run found, as the tables read it.
struct TraitRun {
    const pedigree::Pedigree& pedigree;
    const PedigreeRelatedness& relatedness;
    const TraitModel& model;
    std::uint64_t seed;
    const Simulated& simulated;
    std::size_t threads = 1;  // that format the tables' rows; the text is the same for any
};

// One row per record, tab-separated with a header: animal sire dam
// generation record (1-based), the animal's level of each fixed effect (a
// covariate's value) named after the effect, and one column named after
// each trait: the phenotype, a threshold trait's category, empty when the
// trait has no such record; "0" for an unknown parent. Record r of an animal
// has a row when some trait has it.
std::string records_table(const TraitRun& run);

// One row per animal: animal sire dam generation F msv, tbv_T for each trait
// and, with permanent effects, pe_T for each trait (empty when not
// recorded); with maternal effects mbv_T, with maternal permanent effects
// mpe_T; for each threshold trait liability_T, that of the animal's first
// record of T (empty without one).
std::string animals_table(const TraitRun& run);

// The true values of the fixed effects' levels: effect level and one column
// per trait; a covariate's slope as the level "slope".
std::string effects_table(const TraitRun& run);

// "# key: value" lines about the run, then the check table.
std::string check_report(const TraitRun& run, const std::vector<CheckRow>& rows);

}  // namespace pedsim::traits
