// The inverse of the numerator relationship matrix A of a pedigree, built
// directly from the parents and the parents' inbreeding, never from A.
#pragma once

#include <Eigen/SparseCore>
#include <cstdint>
#include <vector>

namespace pedsim::evaluation {

// Index of an animal, counted from 0; `unknown_parent` where a parent is not
// known.
using AnimalIndex = std::int32_t;
inline constexpr AnimalIndex unknown_parent = -1;

// A pedigree as the evaluation needs it: one entry per animal, parents before
// offspring (sire[i] and dam[i] are below i or unknown_parent; they may be
// equal under selfing), and each animal's inbreeding coefficient F, computed
// by the caller (e.g. by the method of Meuwissen and Luo 1992).
struct PedigreeLinks {
    std::vector<AnimalIndex> sire;
    std::vector<AnimalIndex> dam;
    std::vector<double> inbreeding;

    std::size_t size() const { return sire.size(); }
};

// A^-1 by Henderson's (1976) rules with inbreeding (Quaas 1976): animal i
// with Mendelian sampling variance b_i = 1 - sum over its known parents p of
// (1 + F_p) / 4 adds 1/b_i to (i,i), -1/(2 b_i) to (i,p) and (p,i), and
// 1/(4 b_i) to (p,q) for every pair of its known parents. Reads `pedigree`
// (sire, dam and inbreeding of equal length, F of every parent below 1);
// returns the full symmetric matrix, built from at most 9 entries per
// animal (summed where they meet).
Eigen::SparseMatrix<double> relationship_inverse(const PedigreeLinks& pedigree);

}  // namespace pedsim::evaluation
