// The reference population of the summary measures (fe, fa, fg, mean
// kinship, the regression Ne): the animals whose time value lies in a range,
// given with --reference or by default the latest generation or the latest
// generation interval of birth years.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "measures/time_scale.h"
#include "pedigree/pedigree.h"
#include "relationship/generation_groups.h"

namespace pedsim::measures {

// Time values from..to, both included.
struct TimeRange {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// The range --reference names: "FROM-TO" or one value "T" (T-T), each an
// integer that may start with '-' ("-3--1" is -3 to -1); nothing for any
// other text or when FROM > TO.
std::optional<TimeRange> time_range_named(std::string_view text);

// The default reference: the latest group with generations; with years the
// cohorts born in the latest round(interval) years (at least one: the
// latest cohort alone when the interval is undefined). Assumes groups.size() > 0.
TimeRange default_reference(const relationship::GenerationGroups& groups, TimeScale scale,
                            double interval);

// The animals whose time value lies in `range`, ascending; when `in_cohort`
// is not empty, only those it marks (see cohorts.h).
std::vector<pedigree::AnimalIndex> reference_animals(const pedigree::Pedigree& pedigree,
                                                     TimeRange range,
                                                     const std::vector<bool>& in_cohort = {});

}  // namespace pedsim::measures
