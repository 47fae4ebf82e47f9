// The parameter files of --numeric DIR, for the model as simulated with the
// true (co)variances as starting values: BLUPF90's (blupf90.par) and
// WOMBAT's (wombat.par), and the variances in both programs' syntax.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "traits/fixed_effects.h"
#include "traits/model.h"
#include "traits/numeric_columns.h"

namespace pedsim::traits {

// What the parameter files describe: the model, the columns of data.txt and
// the number of levels of the coded columns.
struct NumericModel {
    const TraitModel& model;
    const NumericColumns& columns;
    const std::vector<FixedLevels>& fixed;
    std::size_t animals = 0;
    std::size_t generations = 0;
};

// BLUPF90's parameter file: DATAFILE data.txt, the observations' columns,
// EFFECTS (intercept, fixed effects, covariates and F as "cov" when the model
// has inbreeding depression, animal, dam with maternal effects, animal again
// for pe, dam again for the maternal pe), RANDOM_RESIDUAL VALUES R and a
// RANDOM_GROUP per random effect, the direct and maternal effects as one
// group (add_animal, FILE pedigree.txt) with the joint matrix. BLUPF90 reads
// one line per record: with the long layout and several traits the file
// holds only comment lines saying so.
std::string blupf90_parameters(const NumericModel& numeric);

// WOMBAT's parameter file: ANALYSIS UNI or MUV, PEDS pedigree.txt, the DATA
// block naming every column of data.txt with its number of levels (TRNO for
// the trait number, the traits' names on the records' column), the MODEL
// block (FIX for each fixed effect, COV for covariates and F, RAN animal NRM,
// RAN dam NRM with maternal effects, RAN pe IDE and RAN mpe IDE with
// permanent and maternal permanent effects, a TRAIT line per trait), a
// SPECIAL block with RPTCOV TSELECT record for repeated records of several
// traits, and a VAR block per random effect and the residual. Comment lines
// say what the file cannot hold (the direct-maternal covariances) and what
// WOMBAT refuses (dam code 0 with maternal effects, traits with repeated
// records numbered after one without). WOMBAT reads one line per record and
// trait: with the wide layout and several traits the file holds only comment
// lines saying so.
std::string wombat_parameters(const NumericModel& numeric);

// Each true (co)variance matrix of the model written as BLUPF90 and WOMBAT
// take it, for README.txt.
std::string variances_in_both_syntaxes(const TraitModel& model);

}  // namespace pedsim::traits
