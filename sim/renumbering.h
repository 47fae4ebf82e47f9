// Renumbering of the pedigree: the simulation's identifiers (10001, 20001,
// ..., with gaps between generations) become 1..N in ascending order.
#pragma once

#include "sim/tables.h"

namespace pedsim::sim {

// Numbers every non-zero identifier found in rows 0..animal_count-1 of the
// pedigree (as an animal or as a parent) 1, 2, ... in ascending order into
// t.new_number, and fills t.sorted_pedigree with the pedigree's rows in
// ascending order of identifier. Uses t.sort_keys and t.sorted_positions as
// work space, and t.sorted_pedigree too before filling it. Assumes
// animal_count >= 1 and identifiers <= 1,000,000.
void renumber(Tables& t);

}  // namespace pedsim::sim
