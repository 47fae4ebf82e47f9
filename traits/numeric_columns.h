// The columns of the data file of --numeric DIR: what numeric_files.h writes
// and the parameter files (parameter_files.h) describe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "traits/model.h"

namespace pedsim::traits {

// The columns of DIR/data.txt, in order: "trait" (long layout), animal dam
// intercept generation record, each fixed effect's name, inbreeding
// animal_sex, "pe" (the animal again) with permanent effects, "mpe" (the dam
// again) with maternal permanent effects, then each trait's name (wide) or
// "value" (long). A program fitting two effects of one column wants a
// column for each.
struct NumericColumns {
    bool long_layout = false;
    std::vector<std::string> names;
    // The 1-based position of the column `name`; 0 when there is none.
    std::size_t position(std::string_view name) const;
};

NumericColumns numeric_columns(const TraitModel& model, bool long_layout);

}  // namespace pedsim::traits
