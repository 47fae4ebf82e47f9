// Mean kinship of every animal with a reference population, and the founder
// genome equivalents of that population, from products with the
// relationship matrix that never form it (Colleau, 2002).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::measures {

// Mean kinship of every animal i with the n animals of `reference`:
// mk_i = (A x)_i / (2n) for the reference's indicator x, the mean of the
// coancestries of i with each of them, i itself included when it is one
// (Ballou and Lacy, 1995). A x = T D T' x is one backward pass (T'x: each
// animal passes half its value to each known parent), a product with D and
// one forward pass (T: each animal adds half of its parents' values), O(N).
// `inbreeding` holds F of every animal. Assumes a non-empty reference.
std::vector<double> mean_kinship(const pedigree::Pedigree& pedigree,
                                 const std::vector<double>& inbreeding,
                                 std::span<const pedigree::AnimalIndex> reference);

// Mean coancestry of the reference, self-coancestries included: the mean of
// its animals' mean kinship, x'Ax / (2 n^2).
double reference_coancestry(const std::vector<double>& mean_kinship,
                            std::span<const pedigree::AnimalIndex> reference);

// Founder genome equivalents fg = 1 / (2 C) for the reference's mean
// coancestry C (Lacy, 1989; Caballero and Toro, 2000): the number of equally
// represented founders, with no loss by drift, that would give C. The
// reference keeps the gene diversity 1 - C = 1 - 1/(2 fg) of the founders'.
double founder_genome_equivalents(double mean_coancestry);

}  // namespace pedsim::measures
