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

namespace pedsim::stats {

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

// True when the offspring of each sire have, on average, at least two dams:
// the sire's ancestors, which tracing walks again for each pair of parents,
// are then walked once for all of its mates, whose ancestors are walked once
// however many of them they share.
bool sires_have_many_mates(const Pedigree& pedigree)
{
    const std::vector<AnimalIndex> with_parents = by_sire_then_dam(pedigree);
    if (with_parents.size() < sires_from_offspring) return false;
    std::size_t sires = 0, pairs = 0;
    for (std::size_t k = 0; k < with_parents.size(); ++k) {
        const std::size_t i = position(with_parents[k]);
        const std::size_t before = k == 0 ? 0 : position(with_parents[k - 1]);
        const bool new_sire = k == 0 || pedigree.sire[i] != pedigree.sire[before];
        sires += new_sire;
        pairs += new_sire || pedigree.dam[i] != pedigree.dam[before];
    }
    return pairs >= 2 * sires;
}

}  // namespace

RelatednessFound find_relatedness(const Pedigree& pedigree, const GenerationGroups& groups,
                                  const ProgressReport& progress)
{
    if (has_discrete_generations(pedigree, groups)) {
        std::optional<Relatedness> carried =
            coancestry_carried_forward(pedigree, groups, most_families(pedigree.size()), progress);
        if (carried) return {std::move(*carried), discrete_method};
    }
    const bool by_sires = sires_have_many_mates(pedigree);
    InbreedingByPaths found = by_sires ? inbreeding_by_sires(pedigree, progress)
                                       : inbreeding_by_paths(pedigree, progress);
    std::vector<double> mean = mean_coancestry_by_products(pedigree, found, groups, progress);
    return {Relatedness{std::move(found.inbreeding), std::move(mean)},
            by_sires ? by_sires_method : by_paths_method};
}

}  // namespace pedsim::stats
