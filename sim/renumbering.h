// Renumbering of the pedigree: the simulation's identifiers (10001, 20001,
// ..., with gaps between generations) become 1..N in ascending order.
#pragma once

#include "tables.h"

namespace pedsim {

// Numbers every non-zero identifier found in rows 0..nanim-1 of ped (as an
// animal or as a parent) 1, 2, ... in ascending order into t.corr, and fills
// t.ped_sorted with the rows of ped in ascending order of id. Uses t.keys and
// t.iperm as work space. Assumes nanim >= 1 and identifiers <= 1,000,000.
void renumber(Tables& t);

}  // namespace pedsim
