#include "measures/reference_population.h"

#include <charconv>
#include <cmath>

#include "pedigree/indexing.h"

namespace pedsim::measures {

namespace {

// A whole text as one integer.
std::optional<std::int64_t> integer_named(std::string_view text)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<TimeRange> time_range_named(std::string_view text)
{
    // The dash between the values is the first one after the first character,
    // which may be the sign of FROM.
    const std::size_t dash = text.empty() ? std::string_view::npos : text.find('-', 1);
    const auto from = integer_named(text.substr(0, dash));
    const auto to = dash == std::string_view::npos ? from : integer_named(text.substr(dash + 1));
    if (!from || !to || *from > *to) return std::nullopt;
    return TimeRange{*from, *to};
}

TimeRange default_reference(const relationship::GenerationGroups& groups, TimeScale scale,
                            double interval)
{
    const std::int64_t latest = groups.generation.back();
    if (!by_cohorts(scale) || !(interval >= 1)) return {latest, latest};
    return {latest - static_cast<std::int64_t>(std::lround(interval)) + 1, latest};
}

std::vector<pedigree::AnimalIndex> reference_animals(const pedigree::Pedigree& pedigree,
                                                     TimeRange range,
                                                     const std::vector<bool>& in_cohort)
{
    std::vector<pedigree::AnimalIndex> animals;
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        if (pedigree.generation[i] >= range.from && pedigree.generation[i] <= range.to &&
            (in_cohort.empty() || in_cohort[i]))
            animals.push_back(pedigree::animal_at(i));
    return animals;
}

}  // namespace pedsim::measures
