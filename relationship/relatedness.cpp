#include "relationship/relatedness.h"

#include <optional>
#include <utility>

#include "relationship/discrete_generations.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/mean_coancestry.h"

namespace pedsim::stats {

namespace {

constexpr const char* discrete_method = "discrete generations: coancestry matrix carried forward";
constexpr const char* general_method =
    "Meuwissen and Luo (1992) inbreeding, Colleau (2002) mean coancestry";

}  // namespace

RelatednessFound find_relatedness(const Pedigree& pedigree, const GenerationGroups& groups,
                                  const ProgressReport& progress)
{
    if (has_discrete_generations(pedigree, groups)) {
        std::optional<Relatedness> carried =
            coancestry_carried_forward(pedigree, groups, most_families(pedigree.size()), progress);
        if (carried) return {std::move(*carried), discrete_method};
    }
    InbreedingByPaths by_paths = inbreeding_by_paths(pedigree, progress);
    std::vector<double> mean = mean_coancestry_by_products(pedigree, by_paths, groups, progress);
    return {Relatedness{std::move(by_paths.inbreeding), std::move(mean)}, general_method};
}

}  // namespace pedsim::stats
