// Inbreeding of every animal of any pedigree by tracing its ancestors
// (Meuwissen and Luo, 1992): no assumption on generations.
#pragma once

#include <cstddef>
#include <vector>

#include "pedigree/pedigree.h"
#include "shell/progress.h"

namespace pedsim::relationship {

// F of every animal and the within-family (Mendelian sampling) variance d_i
// of each in the decomposition A = T D T' of the relationship matrix
// (Meuwissen and Luo, 1992): 1/2 - (F_s + F_d)/4 with both parents known,
// 3/4 - F_p/4 with one, 1 with none.
struct InbreedingByPaths {
    std::vector<double> inbreeding;
    std::vector<double> mendelian_variance;
};

// Within-family (Mendelian sampling) variance d_i of `animal` in A = T D T'
// (Meuwissen and Luo, 1992) from the F of its parents in `inbreeding`:
// 1/2 - (F_s + F_d)/4 with both parents known, 3/4 - F_p/4 with one, 1 with
// none. Mean kinship reads it too.
double mendelian_variance(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                          std::size_t animal);

// F of every animal (Meuwissen and Luo, 1992): F_i = a_sd / 2, where
// a_sd = sum over the common ancestors j of sire s and dam d of T_sj T_dj d_j,
// the T coefficients gathered by one sweep over the ancestors of s and d in
// descending order. Keeping the sire's and the dam's coefficients apart, in
// place of the row of i itself, makes F of unrelated parents exactly 0 and
// small F free of the cancellation in A_ii - 1. Animals with the same two
// parents are computed once; the ancestors' depths (longest path to a
// founder) form layers whose animals are computed on several threads.
InbreedingByPaths inbreeding_by_paths(const pedigree::Pedigree& pedigree,
                                      const shell::ProgressReport& progress);

}  // namespace pedsim::relationship
