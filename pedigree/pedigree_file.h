// A pedigree file read whole and into animals: what every program that reads
// a pedigree does with the path it is given.
#pragma once

#include <string>

#include "pedigree/pedigree.h"
#include "pedigree/pedigree_rows.h"

namespace pedsim::pedigree {

// The pedigree at `path`, or on standard input for "-", plain or compressed
// (input_text), read by `rules` (read_pedigree); messages name the file as
// input_name does. Throws a Failure as input_text and read_pedigree do.
Pedigree read_pedigree_file(const std::string& path, const ReadingRules& rules);

}  // namespace pedsim::pedigree
