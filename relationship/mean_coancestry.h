// Mean coancestry of each generation group of any pedigree from products
// with the relationship matrix that never form it (Colleau, 2002).
#pragma once

#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"
#include "relationship/inbreeding_by_paths.h"
#include "shell/progress.h"

namespace pedsim::relationship {

// Mean coancestry of each group: x'Ax / (2 n^2) for the group's indicator x
// of its n animals, all ordered pairs and each animal with itself counted.
// With A = T D T' (Colleau, 2002) x'Ax = sum_i d_i u_i^2 for u = T'x, which
// one backward pass gives: u = x, then each animal from the last to the first
// passes u_i / 2 to each known parent. O(N) per group; groups run on several
// threads. A group of one animal needs no pass: its mean is (1 + F_i)/2.
std::vector<double> mean_coancestry_by_products(const pedigree::Pedigree& pedigree,
                                                const InbreedingByPaths& found,
                                                const GenerationGroups& groups,
                                                const shell::ProgressReport& progress);

}  // namespace pedsim::relationship
