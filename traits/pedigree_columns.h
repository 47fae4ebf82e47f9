// The columns of the pedigree file that a model's fixed effects read beyond
// the sex and the generation (a herd, say): what the pedigree reader is
// asked to keep, and the refusal of a column the file does not have.
#pragma once

#include <string_view>
#include <vector>

#include "pedigree/pedigree.h"
#include "pedigree/pedigree_rows.h"
#include "traits/model.h"

namespace pedsim::traits {

// One request per fixed effect that reads_pedigree_column(), in the model's
// order: by header name, or by number.
std::vector<pedigree::ColumnRequest> column_requests(const TraitModel& model);

// Throws a Failure (input_refused) "MODEL: line N: fixed.column: PEDIGREE:
// why it has no such column; what to do" for the first effect whose column
// the pedigree (read with column_requests(model)) lacks, and "...: the value
// V of column C holds a control character, ..." for a level the
// tab-separated tables could not hold.
void check_pedigree_columns(const pedigree::Pedigree& pedigree, const TraitModel& model,
                            std::string_view model_name, std::string_view pedigree_name);

}  // namespace pedsim::traits
