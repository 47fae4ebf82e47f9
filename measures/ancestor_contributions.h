// The effective number of ancestors of a reference population (Boichard,
// Maignel and Verrier, 1997): founders and later ancestors alike, each
// credited only with the genes no ancestor chosen before it explains, so a
// bottleneck below the founders shows.
#pragma once

#include <cstddef>
#include <span>

#include "pedigree/pedigree.h"

namespace pedsim::measures {

// At most this many ancestors are chosen: the tail adds little to fa.
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
// Assumes a non-empty reference.
//
// Computed on the reference and its ancestors only, without a pass per
// round: choosing k changes q only of k's ancestors (they lose what k passed
// them) and a only of k's descendants (they gain k's unexplained share), so
// marginal contributions only fall. A heap holds each candidate's last known
// contribution, an upper bound; the top is brought up to date and chosen if
// it has not fallen, else put back (lazy greedy). The walks over the
// ancestors and descendants of the chosen wait until a candidate they may
// reach comes to the top (an ancestor stands less deep than its
// descendants), so one walk serves many choices. The values differ from
// passes of the whole pedigree only by the order of the sums; ties go to the
// earlier animal as in exact arithmetic, q being counted in reference animals
// (exact binary fractions) rather than in shares of 1/n.
AncestorContributions effective_ancestors(const pedigree::Pedigree& pedigree,
                                          std::span<const pedigree::AnimalIndex> reference,
                                          std::size_t cap = most_ancestors);

}  // namespace pedsim::measures
