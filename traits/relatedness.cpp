#include "relatedness.h"

#include "inbreeding_by_paths.h"
#include "mean_coancestry.h"

namespace pedsim::traits {

PedigreeRelatedness pedigree_relatedness(const stats::Pedigree& pedigree,
                                         const stats::ProgressReport& progress)
{
    PedigreeRelatedness relatedness;
    relatedness.groups = stats::group_by_generation(pedigree);
    if (stats::has_discrete_generations(pedigree, relatedness.groups)) {
        relatedness.found =
            stats::coancestry_carried_forward(pedigree, relatedness.groups, progress);
        relatedness.method = "discrete generations: coancestry matrix carried forward";
        return relatedness;
    }
    relatedness.found.inbreeding = stats::inbreeding_by_paths(pedigree, progress);
    relatedness.found.mean_coancestry = stats::mean_coancestry_by_products(
        pedigree, relatedness.found.inbreeding, relatedness.groups, progress);
    relatedness.method = "Meuwissen and Luo (1992) inbreeding, Colleau (2002) mean coancestry";
    return relatedness;
}

}  // namespace pedsim::traits
