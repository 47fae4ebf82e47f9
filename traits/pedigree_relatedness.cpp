#include "traits/pedigree_relatedness.h"

#include <utility>

#include "relationship/relatedness.h"

namespace pedsim::traits {

PedigreeRelatedness pedigree_relatedness(const pedigree::Pedigree& pedigree,
                                         const shell::ProgressReport& progress)
{
    PedigreeRelatedness relatedness;
    relatedness.groups = relationship::group_by_generation(pedigree);
    relationship::RelatednessFound found =
        relationship::find_relatedness(pedigree, relatedness.groups, progress);
    relatedness.found = std::move(found.values);
    relatedness.method = found.method;
    return relatedness;
}

}  // namespace pedsim::traits
