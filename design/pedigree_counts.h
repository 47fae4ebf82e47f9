// Counts that follow from the parameters, and the identifier scheme, shared
// by the checks, the allocation of the tables, the generation loop and the
// fuzzer.
#pragma once

#include <cstdint>

#include "design/parameters.h"

namespace pedsim::design {

// Founders are numbered 10001, 10002, ...; the offspring of the parents of
// generation g are numbered (g+1)*10000 + 1, + 2, ...
constexpr std::int32_t identifiers_per_generation = 10000;
// Identifiers up to this value can be renumbered.
constexpr std::int32_t largest_identifier = 1000000;

// Exact arithmetic on counts: products of three 32-bit parameters need up to
// 93 bits, and a check must never be fooled by a product that wraps.
__extension__ using ExactCount = __int128;

struct PedigreeCounts {
    ExactCount founders;              // nsire*(ndps+1)
    ExactCount historical_offspring;  // H = nsire*ndps*noff, offspring of one historical mating
    ExactCount protocol_parents;      // nsirep*(ndpsp+1)
    ExactCount protocol_offspring;    // P = nsirep*ndpsp*noffp
    ExactCount animals;               // N, every animal of the pedigree
};

// The counts of the pedigree `p` describes, exact for any parameter values.
inline PedigreeCounts pedigree_counts(const Parameters& p)
{
    PedigreeCounts c{};
    c.founders = ExactCount{p.nsire} * (ExactCount{p.ndps} + 1);
    c.historical_offspring = ExactCount{p.nsire} * p.ndps * p.noff;
    c.protocol_parents = ExactCount{p.nsirep} * (ExactCount{p.ndpsp} + 1);
    c.protocol_offspring = ExactCount{p.nsirep} * p.ndpsp * p.noffp;
    c.animals = ExactCount{p.ngen} * c.founders + c.protocol_parents + c.protocol_offspring;
    return c;
}

}  // namespace pedsim::design
