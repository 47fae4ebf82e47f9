// The whole analysis of a pedigree: every step the report shows, called in
// turn. The values the steps fill are in results.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "design/parameters.h"
#include "measures/ancestor_contributions.h"
#include "measures/ancestry.h"
#include "measures/cohort_effective_size.h"
#include "measures/generation_interval.h"
#include "measures/reference_population.h"
#include "measures/results.h"
#include "measures/time_scale.h"
#include "pedigree/pedigree.h"
#include "shell/progress.h"
#include "shell/stage_times.h"

namespace pedsim::measures {

struct Analysis {
    AnimalValues animals;
    std::vector<GenerationRow> generations;
    std::string method;             // how F and the coancestries were computed, in words
    std::size_t founders = 0;       // animals with both parents unknown
    double effective_founders = 0;  // fe of the last generation
    std::optional<DesignSummary> design;

    // How the time column was read, and the reference population of the
    // measures below (analysis.animals.mean_kinship is with it too).
    TimeReading time;
    // With birth years: which animals stand in a cohort (empty when all do,
    // see cohorts.h), and how many do not.
    std::vector<bool> in_cohort;
    std::size_t outside_cohorts = 0;
    TimeRange reference;
    std::size_t reference_animals = 0;
    double reference_founders = 0;    // fe of the reference
    AncestorContributions ancestors;  // fa of the reference
    double reference_coancestry = 0;  // C, self-coancestries included
    double founder_genomes = 0;       // fg = 1 / (2 C)
    // The most ancestors fa may choose (--fa-ancestors).
    std::size_t ancestor_cap = most_ancestors;
    // With birth years only.
    std::optional<GenerationInterval> interval;
    std::optional<RegressionSize> regression;
};

// What --time and --reference ask for; nothing is decided from the data.
struct TimeSettings {
    std::optional<TimeScale> time;
    std::optional<TimeRange> reference;
};

// Computes everything the report shows. `design`, when given, adds the
// expected inbreeding of that design per generation (the first row being the
// founders' generation) and its summary. `settings` says how to read the
// time column and which animals form the reference population (an asked-for
// reference must hold an animal); `founder_rule` which founders the
// effective number of founders counts; `ancestor_cap` the most ancestors
// that fa chooses. With birth years, animals with no year of their own nor
// a parent's to take stand in no cohort (see cohorts.h): in no row, not in
// the reference population. The measures that need no F
// (structure_measures.h) are found beside the inbreeding, on a thread of
// their own when one is free (shell::run_beside), and after it when F has no
// work (no animal has both parents known); their time goes to `work_times`
// once they and the inbreeding are done. The values never depend on the
// threads.
Analysis analyse(const pedigree::Pedigree& pedigree,
                 const std::optional<design::Parameters>& design,
                 const shell::ProgressReport& progress, const TimeSettings& settings = {},
                 FounderRule founder_rule = FounderRule::missing_parent_is_founder,
                 std::size_t ancestor_cap = most_ancestors,
                 const shell::WorkTimeReport& work_times = {});

}  // namespace pedsim::measures
