#include "traits/numeric_columns.h"

#include <algorithm>

namespace pedsim::traits {

std::size_t NumericColumns::position(std::string_view name) const
{
    const auto found = std::ranges::find(names, name);
    return found == names.end() ? 0 : static_cast<std::size_t>(found - names.begin()) + 1;
}

NumericColumns numeric_columns(const TraitModel& model, bool long_layout)
{
    NumericColumns columns{long_layout, {}};
    if (long_layout) columns.names.emplace_back("trait");
    for (const char* name : {"animal", "dam", "intercept", "generation", "record"})
        columns.names.emplace_back(name);
    for (const FixedEffect& effect : model.fixed) columns.names.push_back(effect.name);
    columns.names.emplace_back("inbreeding");
    columns.names.emplace_back("animal_sex");
    if (!model.permanent.empty()) columns.names.emplace_back("pe");
    if (!model.maternal_permanent.empty()) columns.names.emplace_back("mpe");
    if (long_layout)
        columns.names.emplace_back("value");
    else
        columns.names.insert(columns.names.end(), model.traits.begin(), model.traits.end());
    return columns;
}

}  // namespace pedsim::traits
