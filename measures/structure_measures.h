// The measures that the pedigree's structure alone gives, with neither F nor
// a coancestry: the founders and fe, the traced and equivalent generations,
// the generation intervals, the reference population and its fa. The
// analysis computes them beside the inbreeding, on a thread of their own.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "measures/ancestor_contributions.h"
#include "measures/ancestry.h"
#include "measures/generation_interval.h"
#include "measures/reference_population.h"
#include "measures/time_scale.h"
#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"

namespace pedsim::measures {

// What the measures are asked for: how the time column is read, which
// animals stand in a cohort (empty when all do, see cohorts.h), the
// reference population asked for (the default one when none), which founders
// fe counts and the most ancestors fa chooses.
struct StructureSettings {
    TimeScale scale = TimeScale::generation;
    const std::vector<bool>& in_cohort;
    std::optional<TimeRange> reference;
    FounderRule founder_rule = FounderRule::missing_parent_is_founder;
    std::size_t ancestor_cap = most_ancestors;
};

struct StructureMeasures {
    std::vector<double> equivalent_generations;  // ECG of each animal
    std::size_t founders = 0;                    // animals with both parents unknown
    double effective_founders = 0;               // fe of the last group; 0 with no group
    // The mean maximum and complete traced generations of each group's animals.
    std::vector<double> mean_maximum_generations, mean_complete_generations;
    std::optional<Intervals> intervals;  // with birth years only
    // The reference population and its measures; with no group, an empty
    // range and no animal.
    TimeRange reference;
    std::vector<pedigree::AnimalIndex> reference_animals;
    double reference_founders = 0;  // fe of the reference; 0 when it is empty
    AncestorContributions ancestors;
};

// The measures of `pedigree` whose table rows are `groups` (the animals
// outside every cohort dropped, see cohorts.h), as `settings` asks. Reads
// only its arguments and reports no progress, so that it may run on any
// thread beside the inbreeding.
StructureMeasures structure_measures(const pedigree::Pedigree& pedigree,
                                     const relationship::GenerationGroups& groups,
                                     const StructureSettings& settings);

}  // namespace pedsim::measures
