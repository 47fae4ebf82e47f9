#include "traits/recorded_generations.h"

#include <algorithm>

#include "common/exit_status.h"
#include "common/failure.h"

namespace pedsim::traits {

bool in_recorded_generations(const TraitModel& model, std::int64_t generation)
{
    return !model.recorded_generations || (generation >= model.recorded_generations->first &&
                                           generation <= model.recorded_generations->last);
}

std::optional<std::string> recorded_generations_note(const TraitModel& model,
                                                     const pedigree::Pedigree& pedigree,
                                                     std::string_view model_name)
{
    if (!model.recorded_generations) return std::nullopt;
    const GenerationRange range = *model.recorded_generations;
    const auto [first, last] = std::ranges::minmax(pedigree.generation);
    const std::string named = "recorded_generations [" + std::to_string(range.first) + ", " +
                              std::to_string(range.last) + "] ";
    const std::string generations = "the pedigree's generations (" + std::to_string(first) +
                                    " to " + std::to_string(last) + ")";
    const auto in_range = [&](std::int64_t g) { return in_recorded_generations(model, g); };
    if (std::ranges::none_of(pedigree.generation, in_range))
        throw common::Failure(common::ExitStatus::input_refused,
                              common::Place{std::string(model_name)},
                              named + "holds none of " + generations +
                                  ": no animal would have a record; choose generations among them");
    if (range.first >= first && range.last <= last) return std::nullopt;
    return std::string(model_name) + ": " + named + "reaches beyond " + generations +
           ": only generations " + std::to_string(std::max(range.first, first)) + " to " +
           std::to_string(std::min(range.last, last)) + " have records";
}

}  // namespace pedsim::traits
