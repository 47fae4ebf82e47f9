// The files of --numeric DIR: the records, the pedigree and the model in
// the all-numeric form BLUPF90 and WOMBAT read, with a parameter file for
// each.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/output_files.h"
#include "traits/numeric_columns.h"
#include "traits/tables.h"

namespace pedsim::traits {

// The codes the files use, each 1..levels: animals in the pedigree's
// parents-first order (0 for an unknown parent), generations in ascending
// order, fixed effect levels in order of first appearance, sex 1 male, 2
// female, 3 unknown; a threshold trait's category c is written c + 1.
struct NumericCodes {
    std::vector<std::size_t> generation;  // per animal
    std::size_t generation_count = 0;
};

NumericCodes numeric_codes(const pedigree::Pedigree& pedigree);

// The files of --numeric DIR, in numeric_paths' order: pedigree.txt (animal
// sire dam), data.txt (NumericColumns; in the wide layout a line per record,
// 0 for a trait without that record; in the long layout a line per record
// and trait, by animal and trait), ids.txt (number identifier), README.txt
// (every column and each variance in both programs' syntax), blupf90.par and
// wombat.par.
std::vector<common::Output> numeric_files(const TraitRun& run, const std::string& directory,
                                          bool long_layout);

// The paths of the files of --numeric DIR, in numeric_files' order.
std::vector<std::string> numeric_paths(const std::string& directory);

// The code of a sex in the files.
std::size_t sex_code(pedigree::Sex sex);

}  // namespace pedsim::traits
