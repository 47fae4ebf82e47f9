#include "relationship/relatedness.h"

#include <cstddef>
#include <optional>
#include <utility>

#include "pedigree/indexing.h"
#include "relationship/discrete_generations.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/inbreeding_by_sires.h"
#include "relationship/lineage.h"
#include "relationship/mean_coancestry.h"
#include "relationship/method_costs.h"

namespace pedsim::relationship {

namespace {

constexpr const char* discrete_method = "discrete generations: coancestry matrix carried forward";
constexpr const char* by_paths_method =
    "Meuwissen and Luo (1992) inbreeding, Colleau (2002) mean coancestry";
constexpr const char* by_sires_method =
    "indirect inbreeding by sire (Colleau 2002; Sargolzaei, Iwaisaki and Colleau 2005), "
    "Colleau (2002) mean coancestry";

// Below this many animals with both parents known, tracing each family's
// ancestors costs too little for the method's choice to matter.
constexpr std::size_t sires_from_offspring = 5000;

// Pairs of parents whose ancestors are counted to estimate the cost of
// tracing: enough to average out their spread, few against the pedigree.
constexpr std::size_t traced_samples = 64;

// The cost of a step of inbreeding by sire (one member in a forward pass,
// about 3 ns) against one of tracing (one ancestor gathered, ordered and
// passed on, 20 to 80 ns as the trace fits the caches or not). Measured in
// CPU time, the two methods broke even at ratios from 0.034 to 0.125 on
// pedigrees of 12,000 to 1,000,000 animals (herd books of 300 to 3,000 sires
// a year, random parents); 0.08 picks the faster on each.
constexpr double step_ratio = 0.08;

// True when inbreeding by sire is expected to take less time than tracing.
bool by_sires_is_faster(const pedigree::Pedigree& pedigree)
{
    const std::vector<pedigree::AnimalIndex> pairs = by_sire_then_dam(pedigree);
    if (pairs.size() < sires_from_offspring) return false;
    const double sires = steps_by_sires(pedigree, pairs);
    const double paths = steps_by_paths(pedigree, pairs, traced_samples);
    return sires * step_ratio <= paths;
}

}  // namespace

RelatednessFound find_relatedness(const pedigree::Pedigree& pedigree,
                                  const GenerationGroups& groups,
                                  const shell::ProgressReport& progress)
{
    if (has_discrete_generations(pedigree, groups)) {
        std::optional<Relatedness> carried =
            coancestry_carried_forward(pedigree, groups, most_families(pedigree.size()), progress);
        if (carried) return {std::move(*carried), discrete_method};
    }
    if (progress) progress("choice of the inbreeding method", 0);
    const bool by_sires = by_sires_is_faster(pedigree);
    InbreedingByPaths found = by_sires ? inbreeding_by_sires(pedigree, progress)
                                       : inbreeding_by_paths(pedigree, progress);
    std::vector<double> mean = mean_coancestry_by_products(pedigree, found, groups, progress);
    return {Relatedness{std::move(found.inbreeding), std::move(mean)},
            by_sires ? by_sires_method : by_paths_method};
}

}  // namespace pedsim::relationship
