// What the time column of a pedigree counts: generations or birth years, as
// --time says or as its values suggest.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "pedigree/pedigree.h"

namespace pedsim::measures {

enum class TimeScale {
    generation,  // rows of the table are generations, one step apart
    year,        // rows of the table are birth-year cohorts
    date,        // birth-year cohorts, ages at birth from the dates
};

// How the time column is read, and whether that was assumed from its values
// rather than asked for with --time.
struct TimeReading {
    TimeScale scale = TimeScale::generation;
    bool assumed = true;
};

// The scale that --time names ("generation", "year" or "date"); nothing for any other
// text.
std::optional<TimeScale> time_scale_named(std::string_view text);

// Earliest and latest plausible birth year: a time column whose values all lie
// in 1000 .. 3000 is read as birth years when --time does not say.
inline constexpr std::int64_t earliest_year = 1000;
inline constexpr std::int64_t latest_year = 3000;

// The scale `asked` for, or else dates when the reader found dates in the
// time column, years when the pedigree has a time column
// whose every value lies in earliest_year .. latest_year, and generations
// otherwise (always generations for derived ones).
// Whether the rows of the table are birth-year cohorts.
inline bool by_cohorts(TimeScale scale) { return scale != TimeScale::generation; }
TimeReading read_time_scale(const pedigree::Pedigree& pedigree, std::optional<TimeScale> asked);

// The words the summary uses for a reading of `pedigree`'s time column, e.g.
// "birth years (assumed: every value lies between 1000 and 3000)".
std::string_view time_scale_text(const TimeReading& reading, const pedigree::Pedigree& pedigree);

}  // namespace pedsim::measures
