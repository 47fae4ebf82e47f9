// The effective number of ancestors of a reference population (Boichard,
// Maignel and Verrier, 1997): founders and later ancestors alike, each
// credited only with the genes no ancestor chosen before it explains, so a
// bottleneck below the founders shows.
#pragma once

#include <cstddef>
#include <span>

#include "pedigree.h"

namespace pedsim::stats {

// At most this many ancestors are chosen: the tail adds little to fa, and
// each choice costs a pass over the pedigree.
inline constexpr std::size_t most_ancestors = 1000;

struct AncestorContributions {
    double effective_ancestors = 0;  // fa = 1 / sum_k p_k^2
    std::size_t ancestors = 0;       // ancestors chosen
    double explained = 0;            // sum_k p_k: the share of the genes they explain
    std::size_t half = 0;            // the fewest chosen that explain half, 0 when none do
};

// fa of `reference` (Boichard, Maignel and Verrier, 1997). An ancestor is an
// animal with a descendant in the reference. In each round every ancestor k
// not yet chosen has the marginal contribution p_k = q_k (1 - a_k): q_k its
// expected share of the reference's genes, passed up from the reference
// (weight 1/n each, halved at each parent) with the pedigree of the chosen
// ancestors cut, so genes through a chosen ancestor count for it alone; a_k
// the share of k's own genes that comes from the chosen ancestors. The
// largest p_k is chosen (the earliest animal on a tie), until the chosen
// explain all the genes, none is left with p_k > 0, or `cap` are chosen.
// Genes of unknown parents are nobody's, so `explained` may stay below 1.
// Assumes a non-empty reference. O(cap N).
AncestorContributions effective_ancestors(const Pedigree& pedigree,
                                          std::span<const AnimalIndex> reference,
                                          std::size_t cap = most_ancestors);

}  // namespace pedsim::stats
