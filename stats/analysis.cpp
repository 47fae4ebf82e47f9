#include "analysis.h"

#include <cmath>
#include <limits>
#include <utility>

#include "ancestry.h"
#include "discrete_generations.h"
#include "expected_inbreeding.h"
#include "generation_groups.h"
#include "generation_table.h"
#include "inbreeding_by_paths.h"
#include "mean_coancestry.h"

namespace pedsim::stats {

namespace {

constexpr const char* discrete_method = "discrete generations: coancestry matrix carried forward";
constexpr const char* general_method =
    "Meuwissen and Luo (1992) inbreeding, Colleau (2002) mean coancestry";

// F and mean coancestries by the fastest method the pedigree and the memory
// allow, and the method's description.
std::pair<Relatedness, const char*> relatedness(const Pedigree& pedigree,
                                                const GenerationGroups& groups,
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

AnimalValues animal_values(const Pedigree& pedigree, std::vector<double> inbreeding)
{
    AnimalValues values{std::move(inbreeding), equivalent_generations(pedigree), {}};
    values.individual_increase.resize(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        values.individual_increase[i] =
            individual_increase(values.inbreeding[i], values.equivalent_generations[i]);
    return values;
}

}  // namespace

Analysis analyse(const Pedigree& pedigree, const std::optional<Parameters>& design,
                 const ProgressReport& progress, FounderRule founder_rule)
{
    const GenerationGroups groups = group_by_generation(pedigree);
    auto [found, method] = relatedness(pedigree, groups, progress);

    Analysis analysis;
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
    return analysis;
}

}  // namespace pedsim::stats
