// Generation intervals of a pedigree whose time column holds birth years:
// the mean age of the parents at the birth of their offspring (James, 1977;
// Falconer and Mackay, 1996), overall, per parent and per pathway.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"

namespace pedsim::measures {

// Mean age over parent-offspring pairs; NaN without a pair.
struct Pathway {
    double mean = 0;
    std::size_t pairs = 0;
};

// The offspring's sex comes from the sex column when the pedigree has one,
// so the four pathways count every offspring of recorded sex; otherwise (and
// for an animal whose sex is not recorded) from its own use as a sire (a son)
// or a dam (a daughter), so they count the offspring that became parents.
struct GenerationInterval {
    Pathway overall;  // every known parent of every animal
    Pathway sire, dam;
    Pathway sire_son, sire_daughter, dam_son, dam_daughter;
    std::size_t pairs_left_out = 0;  // pairs with a filled-in year, in none of the above
};

// The intervals over every animal with a known parent; ages are differences
// of pedigree.generation, read as birth years. A pair counts only when both
// years stand on their own rows (pedigree.generation_recorded): a year filled
// in from the file's earliest or from a parent's + 1 is no age at all.
GenerationInterval generation_interval(const pedigree::Pedigree& pedigree);

// The mean age of the known parents of each group's animals at their birth
// (the L of a cohort), over the pairs generation_interval counts; NaN for a
// group without such a pair.
std::vector<double> cohort_intervals(const pedigree::Pedigree& pedigree,
                                     const relationship::GenerationGroups& groups);

}  // namespace pedsim::measures
