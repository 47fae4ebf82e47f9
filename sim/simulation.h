// The whole simulation in memory: set-up, generations and renumbering, with
// no file involved. The program, the tests, the benchmarks and the fuzzer all
// run it this way.
#pragma once

#include <cstdint>

#include "design/parameters.h"
#include "random/uniran.h"
#include "sim/generation_loop.h"
#include "sim/tables.h"

namespace pedsim::sim {

// Builds the renumbered pedigree of parameters that check_parameters let run:
// allocates the tables, enters the founders, runs the generations with p's
// seed on `generator`, and renumbers. The record of the loop goes to
// `record` when given.
Tables simulate(const design::Parameters& p, random::UniformGenerator& generator,
                LoopRecord* record = nullptr);

}  // namespace pedsim::sim
