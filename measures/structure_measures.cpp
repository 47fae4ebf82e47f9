#include "measures/structure_measures.h"

#include "measures/pedigree_completeness.h"
#include "pedigree/indexing.h"

namespace pedsim::measures {

namespace {

// The mean traced generations of each group's animals.
void add_completeness(const pedigree::Pedigree& pedigree,
                      const relationship::GenerationGroups& groups, StructureMeasures& measures)
{
    const TracedGenerations traced = traced_generations(pedigree);
    measures.mean_maximum_generations.resize(groups.size());
    measures.mean_complete_generations.resize(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        double maximum = 0, complete = 0;
        for (const pedigree::AnimalIndex animal : groups.members(g))
            maximum += traced.maximum[pedigree::position(animal)],
                complete += traced.complete[pedigree::position(animal)];
        const double n = static_cast<double>(groups.members(g).size());
        measures.mean_maximum_generations[g] = maximum / n;
        measures.mean_complete_generations[g] = complete / n;
    }
}

// The reference population, its fe and its fa. Assumes groups.size() > 0.
void add_reference(const pedigree::Pedigree& pedigree, const relationship::GenerationGroups& groups,
                   const StructureSettings& settings, StructureMeasures& measures)
{
    const double interval = measures.intervals ? measures.intervals->overall.overall.mean : 1;
    measures.reference =
        settings.reference.value_or(default_reference(groups, settings.scale, interval));
    measures.reference_animals =
        reference_animals(pedigree, measures.reference, settings.in_cohort);
    if (measures.reference_animals.empty()) return;
    // The default reference is the last generation, whose fe is found already.
    const bool last_generation = measures.reference.from == measures.reference.to &&
                                 measures.reference.to == groups.generation.back();
    measures.reference_founders =
        last_generation
            ? measures.effective_founders
            : effective_founders(pedigree, measures.reference_animals, settings.founder_rule);
    measures.ancestors =
        effective_ancestors(pedigree, measures.reference_animals, settings.ancestor_cap);
}

}  // namespace

StructureMeasures structure_measures(const pedigree::Pedigree& pedigree,
                                     const relationship::GenerationGroups& groups,
                                     const StructureSettings& settings)
{
    StructureMeasures measures;
    measures.equivalent_generations = equivalent_generations(pedigree);
    measures.founders = count_founders(pedigree);
    if (groups.size() > 0)
        measures.effective_founders =
            effective_founders(pedigree, groups.members(groups.size() - 1), settings.founder_rule);
    add_completeness(pedigree, groups, measures);
    if (by_cohorts(settings.scale)) measures.intervals = generation_intervals(pedigree, groups);
    if (groups.size() > 0) add_reference(pedigree, groups, settings, measures);
    return measures;
}

}  // namespace pedsim::measures
