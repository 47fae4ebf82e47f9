// Random permutations drawn from the uniform generator.
#pragma once

#include <cstdint>
#include <span>

#include "random/uniran.h"

namespace pedsim::random {

// Fills perm[0..n-1] with the values 1.0 .. n.0 in a random order, drawing
// exactly one value of `generator` per position (through uniran, so a
// positive iseed seeds first and comes back -1). Callers turn an entry into a
// 1-based position by truncation. n < 1 draws nothing and leaves perm and
// iseed as they are. Assumes perm holds at least n values.
void ranper(UniformGenerator& generator, std::int32_t n, std::int32_t& iseed,
            std::span<float> perm);

}  // namespace pedsim::random
