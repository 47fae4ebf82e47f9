// The whole analysis of a pedigree: every step the report shows, called in
// turn. The values the steps fill are in results.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ancestry.h"
#include "parameters.h"
#include "pedigree.h"
#include "results.h"

namespace pedsim::stats {

struct Analysis {
    AnimalValues animals;
    std::vector<GenerationRow> generations;
    std::string method;             // how F and the coancestries were computed, in words
    std::size_t founders = 0;       // animals with both parents unknown
    double effective_founders = 0;  // fe of the last generation
    std::optional<DesignSummary> design;
};

// Computes everything the report shows. `design`, when given, adds the
// expected inbreeding of that design per generation (the first row being the
// founders' generation) and its summary; `founder_rule` says which founders
// the effective number of founders counts.
Analysis analyse(const Pedigree& pedigree, const std::optional<Parameters>& design,
                 const ProgressReport& progress,
                 FounderRule founder_rule = FounderRule::missing_parent_is_founder);

}  // namespace pedsim::stats
