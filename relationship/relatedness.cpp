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

// Offspring whose sires' steps are counted to estimate the cost of
// inbreeding by sire.
constexpr std::size_t sire_samples = 64;

// The cost of a step of inbreeding by sire (SireMethod::estimated_steps'
// unit, a member passed in a forward pass) against one of tracing (one
// ancestor gathered, ordered and passed on). Measured on one core, a step
// took 2.6 to 9.0 ns by sire and 15 to 44 ns by tracing (0.09 to 0.20 times
// as much) on herd books of 100,000 to 1,000,000 animals (31 to 60 birth
// years, 300 to 6,000 sires a year), but 0.4 to 0.9 times as much on
// pedigrees of random parents, where nearly every animal is a member. At 0.4
// the herd books go by sire, and random parents by sire only where it is
// clearly faster; near the break-even either choice costs at most about
// 1.5 times the other.
constexpr double step_ratio = 0.4;

// True when inbreeding by sire is expected to take less time than tracing.
bool by_sires_is_faster(const pedigree::Pedigree& pedigree, const SireMethod& sires)
{
    const double paths = steps_by_paths(pedigree, sires.pairs(), traced_samples);
    return sires.estimated_steps(sire_samples) * step_ratio <= paths;
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
    ParentPairs pairs = by_sire_then_dam(pedigree);
    std::optional<SireMethod> sires;
    if (pairs.size() >= sires_from_offspring) sires.emplace(pedigree, std::move(pairs));
    // Dropped when tracing wins: its lines would hold memory while it runs.
    if (sires && !by_sires_is_faster(pedigree, *sires)) sires.reset();
    const bool by_sires = sires.has_value();
    InbreedingByPaths found =
        by_sires ? sires->run(progress) : inbreeding_by_paths(pedigree, progress);
    sires.reset();  // held no longer than the method runs
    std::vector<double> mean = mean_coancestry_by_products(pedigree, found, groups, progress);
    return {Relatedness{std::move(found.inbreeding), std::move(mean)},
            by_sires ? by_sires_method : by_paths_method};
}

}  // namespace pedsim::relationship
