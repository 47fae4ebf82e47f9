// The generations of the pedigree: historical random mating, then the
// protocol's parents and their offspring.
#pragma once

#include <cstdint>
#include <vector>

#include "design/parameters.h"
#include "random/uniran.h"
#include "sim/tables.h"

namespace pedsim::sim {

// What a run of the loop did, for tests and benchmarks; the pedigree does
// not depend on it.
struct LoopRecord {
    // passes[g - 1]: passes made with the parents of generation g
    // (1 for a pass that succeeded at once), g = 1 .. ngen+1.
    std::vector<std::int32_t> passes;
};

// Runs every generation from the founders in `tables` (entered by
// enter_founders) and appends each generation's parents, then the protocol's
// offspring, to the pedigree and generation_of_row; animal_count ends at the
// number of animals. Draws every random value from `generator`, seeding it
// with p.iseed at the first draw. Assumes parameters that passed every check,
// so that every pass can succeed.
LoopRecord run_generations(const design::Parameters& p, random::UniformGenerator& generator,
                           Tables& tables);

}  // namespace pedsim::sim
