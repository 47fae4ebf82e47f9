// The fixed effects of a simulation: each animal's level of every effect of
// the model and the true value of every level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pedigree/pedigree.h"
#include "traits/model.h"

namespace pedsim::traits {

// An animal's sex as the traits read it: the pedigree's sex column where it
// records one, else its use as a sire (male) or a dam (female); unrecorded
// for an animal without either, or used as both.
std::vector<pedigree::Sex> animal_sexes(const pedigree::Pedigree& pedigree);

// The label of a sex as the tables write it: "M", "F" or "0".
const char* sex_label(pedigree::Sex sex);

// One fixed effect as realised. A covariate has no levels; its value in an
// animal's records is slope times covariate(animal).
struct FixedLevels {
    std::vector<std::string> labels;   // per level, in order of first appearance
    std::vector<double> values;        // levels x traits, row-major
    std::vector<std::uint32_t> level;  // per animal
    std::vector<double> covariate;     // per animal, for a covariate
    bool whole = false;                // the covariate's values are whole numbers (ages)

    std::size_t level_count() const { return labels.size(); }
};

// Realises every fixed effect of the model. A column effect's levels are the
// animals' sexes or generations, or the values of a pedigree column the
// reader kept (pedigree.kept, one per effect that reads_pedigree_column(),
// in order), "NA" for an animal without one (a missing value, a parent
// without a row); a groups effect's are "GENERATION:K", each
// animal in group K (1 .. groups) drawn uniformly from its own stream
// DrawStream::group + the effect's index. A level's value is the one given
// in the model, else N(0, variance) from the counter of the XXH3-128 hash of
// "NAME/LABEL" (stream DrawStream::fixed_level), so that it depends only on
// the seed, the effect's name and the level; 0 without a variance. An age
// covariate's value is the animal's age at recording, a whole number of its
// range drawn uniformly once per animal from the counter of the hash of
// "NAME/IDENTIFIER" (stream DrawStream::age): every record of the animal
// has that age, and no other draw changes with it.
std::vector<FixedLevels> realise_fixed_effects(const pedigree::Pedigree& pedigree,
                                               const std::vector<pedigree::Sex>& sexes,
                                               const std::vector<double>& inbreeding,
                                               const TraitModel& model, std::uint64_t seed);

// Appends the animal's value of a covariate as the tables write it: an age
// as the whole number it is (the shortest form of 100000.0 is 1e+05), any
// other in its shortest exact form.
void append_covariate(std::string& out, const FixedLevels& effect, std::size_t animal);

// The sum of the fixed effects in a record of `animal` for `trait`.
double fixed_sum(const std::vector<FixedLevels>& fixed, const TraitModel& model, std::size_t animal,
                 std::size_t trait);

}  // namespace pedsim::traits
