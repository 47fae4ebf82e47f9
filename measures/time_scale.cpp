#include "measures/time_scale.h"

#include <algorithm>

namespace pedsim::measures {

std::optional<TimeScale> time_scale_named(std::string_view text)
{
    if (text == "generation") return TimeScale::generation;
    if (text == "year") return TimeScale::year;
    if (text == "date") return TimeScale::date;
    return std::nullopt;
}

TimeReading read_time_scale(const pedigree::Pedigree& pedigree, std::optional<TimeScale> asked)
{
    if (asked) return {*asked, false};
    if (!pedigree.birth_time.empty()) return {TimeScale::date, true};
    const bool years = pedigree.generation_given && !pedigree.generation.empty() &&
                       std::ranges::all_of(pedigree.generation, [](std::int64_t value) {
                           return value >= earliest_year && value <= latest_year;
                       });
    return {years ? TimeScale::year : TimeScale::generation, true};
}

std::string_view time_scale_text(const TimeReading& reading, const pedigree::Pedigree& pedigree)
{
    if (!pedigree.generation_given) return "generations (derived from the parents)";
    if (reading.scale == TimeScale::date)
        return reading.assumed ? "birth dates (assumed: the values are dates; cohorts by year)"
                               : "birth dates (--time date; cohorts by year)";
    if (reading.scale == TimeScale::year)
        return reading.assumed ? "birth years (assumed: every value lies between 1000 and 3000)"
                               : "birth years (--time year)";
    return reading.assumed ? "generations (assumed: not every value lies between 1000 and 3000)"
                           : "generations (--time generation)";
}

}  // namespace pedsim::measures
