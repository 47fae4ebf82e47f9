#include "analysis.h"

#include <cmath>
#include <limits>
#include <utility>

#include "ancestry.h"
#include "expected_inbreeding.h"
#include "generation_groups.h"
#include "generation_table.h"
#include "relatedness.h"

namespace pedsim::stats {

namespace {

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
    auto [found, method] = find_relatedness(pedigree, groups, progress);

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
