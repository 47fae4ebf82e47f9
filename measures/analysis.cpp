#include "measures/analysis.h"

#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "measures/ancestry.h"
#include "measures/cohorts.h"
#include "measures/expected_inbreeding.h"
#include "measures/generation_table.h"
#include "measures/mean_kinship.h"
#include "measures/pedigree_completeness.h"
#include "pedigree/indexing.h"
#include "relationship/generation_groups.h"
#include "relationship/relatedness.h"
#include "shell/stage_progress.h"

namespace pedsim::measures {

namespace {

AnimalValues animal_values(const pedigree::Pedigree& pedigree, std::vector<double> inbreeding)
{
    AnimalValues values{std::move(inbreeding), equivalent_generations(pedigree), {}, {}};
    values.individual_increase.resize(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        values.individual_increase[i] =
            individual_increase(values.inbreeding[i], values.equivalent_generations[i]);
    return values;
}

// The mean traced generations of each row's animals.
void add_completeness(const pedigree::Pedigree& pedigree,
                      const relationship::GenerationGroups& groups,
                      std::vector<GenerationRow>& rows)
{
    const TracedGenerations traced = traced_generations(pedigree);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        double maximum = 0, complete = 0;
        for (const pedigree::AnimalIndex animal : groups.members(g))
            maximum += traced.maximum[pedigree::position(animal)],
                complete += traced.complete[pedigree::position(animal)];
        const double n = static_cast<double>(groups.members(g).size());
        rows[g].mean_maximum_generations = maximum / n;
        rows[g].mean_complete_generations = complete / n;
    }
}

// With birth years: the intervals, each cohort's L and its Ne per generation.
void add_intervals(const pedigree::Pedigree& pedigree, const relationship::GenerationGroups& groups,
                   Analysis& analysis)
{
    const std::vector<double> cohorts = cohort_intervals(pedigree, groups);
    for (std::size_t g = 0; g < groups.size(); ++g)
        analysis.generations[g].generation_interval = cohorts[g];
    analysis.interval = generation_interval(pedigree);
    cohort_effective_sizes(analysis.generations, analysis.interval->overall.mean);
}

// fe, fa, fg and the mean kinship with the reference population, and with
// birth years the regression Ne over its cohorts.
void add_reference_measures(const pedigree::Pedigree& pedigree,
                            std::span<const pedigree::AnimalIndex> reference,
                            FounderRule founder_rule, const shell::ProgressReport& progress,
                            Analysis& analysis)
{
    analysis.reference_animals = reference.size();
    if (reference.empty()) return;
    // The default reference is the last generation, whose fe is found already.
    const bool last_generation = analysis.reference.from == analysis.reference.to &&
                                 analysis.reference.to == analysis.generations.back().generation;
    analysis.reference_founders = last_generation
                                      ? analysis.effective_founders
                                      : effective_founders(pedigree, reference, founder_rule);
    {
        shell::StageProgress stage(progress, "effective number of ancestors");
        analysis.ancestors = effective_ancestors(pedigree, reference, analysis.ancestor_cap);
    }
    shell::StageProgress stage(progress, "mean kinship and fg");
    analysis.animals.mean_kinship = mean_kinship(pedigree, analysis.animals.inbreeding, reference);
    analysis.reference_coancestry = reference_coancestry(analysis.animals.mean_kinship, reference);
    analysis.founder_genomes = founder_genome_equivalents(analysis.reference_coancestry);
    if (analysis.interval)
        analysis.regression =
            regression_effective_size(analysis.generations, analysis.reference.from,
                                      analysis.reference.to, analysis.interval->overall.mean);
}

// The measures of herd books and of the established pedigree programs,
// added to an analysis whose table is filled.
void add_herd_measures(const pedigree::Pedigree& pedigree,
                       const relationship::GenerationGroups& groups, const TimeSettings& settings,
                       FounderRule founder_rule, const shell::ProgressReport& progress,
                       Analysis& analysis)
{
    {
        shell::StageProgress stage(progress, "completeness and intervals");
        add_completeness(pedigree, groups, analysis.generations);
        analysis.animals.mean_kinship.assign(pedigree.size(),
                                             std::numeric_limits<double>::quiet_NaN());
        for (GenerationRow& row : analysis.generations)
            row.generation_interval = std::numeric_limits<double>::quiet_NaN();
        if (by_cohorts(analysis.time.scale)) add_intervals(pedigree, groups, analysis);
    }
    if (groups.size() == 0) return;
    const double interval = analysis.interval ? analysis.interval->overall.mean : 1;
    analysis.reference =
        settings.reference.value_or(default_reference(groups, analysis.time.scale, interval));
    add_reference_measures(pedigree,
                           reference_animals(pedigree, analysis.reference, analysis.in_cohort),
                           founder_rule, progress, analysis);
}

// The per-generation table, the founders and their fe, and the design's
// summary, from the relatedness found, added to `analysis`.
void add_table_and_founders(const pedigree::Pedigree& pedigree,
                            const relationship::GenerationGroups& groups,
                            const std::optional<design::Parameters>& design,
                            relationship::Relatedness found, const std::string& method,
                            FounderRule founder_rule, const shell::ProgressReport& progress,
                            Analysis& analysis)
{
    shell::StageProgress stage(progress, "generation table and fe");
    analysis.method = method;
    analysis.animals = animal_values(pedigree, std::move(found.inbreeding));
    const std::vector<double> expected =
        design ? expected_inbreeding(*design, groups.size())
               : std::vector<double>(groups.size(), std::numeric_limits<double>::quiet_NaN());
    analysis.generations =
        generation_table(pedigree, groups, analysis.animals, found.mean_coancestry, expected);
    analysis.founders = count_founders(pedigree);
    if (groups.size() > 0)
        analysis.effective_founders =
            effective_founders(pedigree, groups.members(groups.size() - 1), founder_rule);
    if (design) analysis.design = design_summary(*design);
}

}  // namespace

Analysis analyse(const pedigree::Pedigree& pedigree,
                 const std::optional<design::Parameters>& design,
                 const shell::ProgressReport& progress, const TimeSettings& settings,
                 FounderRule founder_rule, std::size_t ancestor_cap)
{
    Analysis analysis;
    analysis.ancestor_cap = ancestor_cap;
    relationship::GenerationGroups groups = [&] {
        shell::StageProgress stage(progress, "generation groups");
        analysis.time = read_time_scale(pedigree, settings.time);
        if (by_cohorts(analysis.time.scale)) analysis.in_cohort = animals_in_cohorts(pedigree);
        analysis.outside_cohorts = animals_outside_cohorts(analysis.in_cohort);
        return cohort_groups(pedigree, analysis.in_cohort);
    }();
    auto [found, method] = relationship::find_relatedness(pedigree, groups, progress);
    if (!analysis.in_cohort.empty()) drop_outside_group(groups);

    add_table_and_founders(pedigree, groups, design, std::move(found), method, founder_rule,
                           progress, analysis);
    add_herd_measures(pedigree, groups, settings, founder_rule, progress, analysis);
    return analysis;
}

}  // namespace pedsim::measures
