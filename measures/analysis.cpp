#include "measures/analysis.h"

#include <cmath>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "measures/ancestry.h"
#include "measures/cohorts.h"
#include "measures/expected_inbreeding.h"
#include "measures/generation_table.h"
#include "measures/mean_kinship.h"
#include "measures/pedigree_completeness.h"
#include "measures/structure_measures.h"
#include "pedigree/indexing.h"
#include "relationship/generation_groups.h"
#include "relationship/relatedness.h"
#include "shell/parallel.h"
#include "shell/stage_progress.h"

namespace pedsim::measures {

namespace {

// What the report says of the work done beside the inbreeding.
constexpr std::string_view structure_work = "founders, completeness and fa (beside the inbreeding)";

// What the report says of the mean kinship found beside the table.
constexpr std::string_view kinship_work = "mean kinship (beside the generation table)";

// ECG and the individual increases beside F, already in `values`; reads F
// alone, so that the mean kinship may read it at the same time.
void add_increases(std::vector<double> equivalent_generations, AnimalValues& values)
{
    values.equivalent_generations = std::move(equivalent_generations);
    values.individual_increase.resize(values.inbreeding.size());
    for (std::size_t i = 0; i < values.inbreeding.size(); ++i)
        values.individual_increase[i] =
            individual_increase(values.inbreeding[i], values.equivalent_generations[i]);
}

// The measures of the structure of the table's rows: `groups` as the
// relationship engine sees them, without the group of the animals outside
// every cohort (cohorts.h).
StructureMeasures structure_of_rows(const pedigree::Pedigree& pedigree,
                                    const relationship::GenerationGroups& groups,
                                    const StructureSettings& settings)
{
    if (settings.in_cohort.empty()) return structure_measures(pedigree, groups, settings);
    relationship::GenerationGroups rows = groups;
    drop_outside_group(rows);
    return structure_measures(pedigree, rows, settings);
}

// True when some animal has both parents known: F has work to do.
bool has_offspring_of_known_parents(const pedigree::Pedigree& pedigree)
{
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        if (pedigree::is_known(pedigree.sire[i]) && pedigree::is_known(pedigree.dam[i]))
            return true;
    return false;
}

// F and the mean coancestries on the caller's thread, reporting its stages,
// and beside them the measures of the structure, which need neither; the
// time of the latter goes to `work_times`.
relationship::RelatednessFound find_relatedness_and_structure(
    const pedigree::Pedigree& pedigree, const relationship::GenerationGroups& groups,
    const StructureSettings& settings, const shell::ProgressReport& progress,
    const shell::WorkTimeReport& work_times, StructureMeasures& structure)
{
    relationship::RelatednessFound found{};
    shell::WorkTime structure_time;
    const auto find_structure = [&] {
        const shell::WorkClock clock;
        structure = structure_of_rows(pedigree, groups, settings);
        structure_time = clock.elapsed();
    };
    const auto find_found = [&] {
        found = relationship::find_relatedness(pedigree, groups, progress);
    };
    // Without an offspring of two known parents F is 0 at once: nothing to
    // overlap, and both would hold their memory at the same time for nothing
    // (a file of founders).
    if (has_offspring_of_known_parents(pedigree)) {
        shell::run_beside(find_structure, find_found);
    } else {
        find_found();
        find_structure();
    }
    if (work_times) work_times(structure_work, structure_time);
    return found;
}

// The per-row completeness and, with birth years, the intervals, each
// cohort's L and its Ne per generation, from the structure found.
void add_completeness_and_intervals(const StructureMeasures& structure, Analysis& analysis)
{
    for (std::size_t g = 0; g < analysis.generations.size(); ++g) {
        GenerationRow& row = analysis.generations[g];
        row.mean_maximum_generations = structure.mean_maximum_generations[g];
        row.mean_complete_generations = structure.mean_complete_generations[g];
        row.generation_interval = std::numeric_limits<double>::quiet_NaN();
    }
    if (!structure.intervals) return;
    for (std::size_t g = 0; g < analysis.generations.size(); ++g)
        analysis.generations[g].generation_interval = structure.intervals->cohorts[g];
    analysis.interval = structure.intervals->overall;
    cohort_effective_sizes(analysis.generations, analysis.interval->overall.mean);
}

// fe, fa, fg and the mean kinship with the reference population, and with
// birth years the regression Ne over its cohorts.
void add_reference_measures(const StructureMeasures& structure, std::vector<double> kinship,
                            const shell::ProgressReport& progress, Analysis& analysis)
{
    analysis.reference = structure.reference;
    const std::span<const pedigree::AnimalIndex> reference = structure.reference_animals;
    analysis.reference_animals = reference.size();
    if (reference.empty()) return;
    analysis.reference_founders = structure.reference_founders;
    {
        shell::StageProgress stage(progress, "effective number of ancestors");
        analysis.ancestors = structure.ancestors;
    }
    shell::StageProgress stage(progress, "mean kinship and fg");
    analysis.animals.mean_kinship = std::move(kinship);
    analysis.reference_coancestry = reference_coancestry(analysis.animals.mean_kinship, reference);
    analysis.founder_genomes = founder_genome_equivalents(analysis.reference_coancestry);
    if (analysis.interval)
        analysis.regression =
            regression_effective_size(analysis.generations, analysis.reference.from,
                                      analysis.reference.to, analysis.interval->overall.mean);
}

// The measures of herd books and of the established pedigree programs,
// added to an analysis whose table is filled.
void add_herd_measures(const pedigree::Pedigree& pedigree, const StructureMeasures& structure,
                       std::vector<double> kinship, const shell::ProgressReport& progress,
                       Analysis& analysis)
{
    {
        shell::StageProgress stage(progress, "completeness and intervals");
        add_completeness_and_intervals(structure, analysis);
        analysis.animals.mean_kinship.assign(pedigree.size(),
                                             std::numeric_limits<double>::quiet_NaN());
    }
    if (analysis.generations.empty()) return;
    add_reference_measures(structure, std::move(kinship), progress, analysis);
}

// The per-generation table, the founders and their fe, and the design's
// summary, from F (in analysis.animals), the mean coancestries and the
// structure found, added to `analysis`.
void add_table_and_founders(const pedigree::Pedigree& pedigree,
                            const relationship::GenerationGroups& groups,
                            const std::optional<design::Parameters>& design,
                            const std::vector<double>& mean_coancestry,
                            StructureMeasures& structure, const shell::ProgressReport& progress,
                            Analysis& analysis)
{
    shell::StageProgress stage(progress, "generation table and fe");
    add_increases(std::move(structure.equivalent_generations), analysis.animals);
    const std::vector<double> expected =
        design ? expected_inbreeding(*design, groups.size())
               : std::vector<double>(groups.size(), std::numeric_limits<double>::quiet_NaN());
    analysis.generations =
        generation_table(pedigree, groups, analysis.animals, mean_coancestry, expected);
    analysis.founders = structure.founders;
    analysis.effective_founders = structure.effective_founders;
    if (design) analysis.design = design_summary(*design);
}

// The table as add_table_and_founders makes it and, beside it, the mean
// kinship of every animal with the reference population, which reads F
// alone (the table only reads it too); its time goes to `work_times`.
// Returns the mean kinship, empty when the reference holds no animal.
std::vector<double> add_table_beside_kinship(
    const pedigree::Pedigree& pedigree, const relationship::GenerationGroups& groups,
    const std::optional<design::Parameters>& design, const std::vector<double>& mean_coancestry,
    StructureMeasures& structure, const shell::ProgressReport& progress,
    const shell::WorkTimeReport& work_times, Analysis& analysis)
{
    std::vector<double> kinship;
    const std::span<const pedigree::AnimalIndex> reference = structure.reference_animals;
    shell::WorkTime kinship_time;
    shell::run_beside(
        [&] {
            if (reference.empty()) return;
            const shell::WorkClock clock;
            kinship = mean_kinship(pedigree, analysis.animals.inbreeding, reference);
            kinship_time = clock.elapsed();
        },
        [&] {
            add_table_and_founders(pedigree, groups, design, mean_coancestry, structure, progress,
                                   analysis);
        });
    if (work_times && !reference.empty()) work_times(kinship_work, kinship_time);
    return kinship;
}

}  // namespace

Analysis analyse(const pedigree::Pedigree& pedigree,
                 const std::optional<design::Parameters>& design,
                 const shell::ProgressReport& progress, const TimeSettings& settings,
                 FounderRule founder_rule, std::size_t ancestor_cap,
                 const shell::WorkTimeReport& work_times)
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
    const StructureSettings structure_settings{analysis.time.scale, analysis.in_cohort,
                                               settings.reference, founder_rule, ancestor_cap};
    StructureMeasures structure;
    relationship::RelatednessFound found = find_relatedness_and_structure(
        pedigree, groups, structure_settings, progress, work_times, structure);
    if (!analysis.in_cohort.empty()) drop_outside_group(groups);

    analysis.method = found.method;
    analysis.animals.inbreeding = std::move(found.values.inbreeding);
    std::vector<double> kinship =
        add_table_beside_kinship(pedigree, groups, design, found.values.mean_coancestry, structure,
                                 progress, work_times, analysis);
    add_herd_measures(pedigree, structure, std::move(kinship), progress, analysis);
    return analysis;
}

}  // namespace pedsim::measures
