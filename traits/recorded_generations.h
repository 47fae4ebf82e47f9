// Which animals of a pedigree a trait model records, by its
// recorded_generations.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pedigree/pedigree.h"
#include "traits/model.h"

namespace pedsim::traits {

// True when the model records animals of `generation`: every generation when
// it names no recorded_generations.
bool in_recorded_generations(const TraitModel& model, std::int64_t generation);

// Compares the model's recorded_generations, read from `model_name`, with
// the generations of `pedigree` (assumed not empty). Throws a Failure
// (input_refused) "MODEL: recorded_generations [F, L] holds none of the
// pedigree's generations (FIRST to LAST): ..." when no animal would be
// recorded; returns the note "MODEL: recorded_generations [F, L] reaches
// beyond ..." when the range goes past the pedigree's first or last
// generation; nothing otherwise.
std::optional<std::string> recorded_generations_note(const TraitModel& model,
                                                     const pedigree::Pedigree& pedigree,
                                                     std::string_view model_name);

}  // namespace pedsim::traits
