#include "stats/replicate_table.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>

#include "common/failure.h"
#include "shell/table_text.h"
#include "stats/report.h"

namespace pedsim::stats {

namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

// The column that names the row, and the one that is a property of the
// design rather than of a pedigree: neither gets a mean.
constexpr std::string_view key_column = "generation";
constexpr std::string_view design_column = "expected_F";
constexpr std::string_view error_suffix = "_se";

// A column that is itself a standard error within one pedigree
// (Ne_individual_se) is left out: the error across the replicates takes its
// place, and its name.
bool left_out(std::string_view name) { return name == key_column || name.ends_with(error_suffix); }

[[noreturn]] void refuse_generations(const Replicate& replicate, const Replicate& first,
                                     std::int64_t generation, bool replicate_has_it)
{
    const std::string which =
        replicate_has_it
            ? "has generation " + std::to_string(generation) + ", which " + first.name + " has not"
            : "has no generation " + std::to_string(generation) + ", which " + first.name + " has";
    throw common::Failure(common::ExitStatus::input_refused, common::Place{replicate.name, 0},
                          which + "; the replicates of a study must share one set of generations");
}

// Refuses `replicate` at the first generation that it and `first` do not share.
void check_against(const Replicate& replicate, const Replicate& first)
{
    const auto& mine = replicate.generations;
    const auto& theirs = first.generations;
    std::size_t k = 0;
    for (; k < mine.size() && k < theirs.size(); ++k) {
        const std::int64_t own = mine[k].generation, other = theirs[k].generation;
        if (own != other) refuse_generations(replicate, first, std::min(own, other), own < other);
    }
    if (k < mine.size()) refuse_generations(replicate, first, mine[k].generation, true);
    if (k < theirs.size()) refuse_generations(replicate, first, theirs[k].generation, false);
}

std::string header(const std::vector<std::string_view>& names)
{
    std::string out(key_column);
    for (const std::string_view name : names) {
        if (left_out(name)) continue;
        out += '\t';
        out += name;
        if (name == design_column) continue;
        out += '\t';
        out += name;
        out += error_suffix;
    }
    return out + '\n';
}

// The row of generation `row` across the replicates.
std::string row_text(std::span<const Replicate> replicates, std::size_t row,
                     const std::vector<std::string_view>& names)
{
    std::vector<std::vector<double>> cells;  // cells[replicate][column]
    for (const Replicate& replicate : replicates)
        cells.push_back(generation_row_values(replicate.generations[row]));
    std::string out = std::to_string(replicates.front().generations[row].generation);
    std::vector<double> column_values(replicates.size());
    for (std::size_t column = 0; column < names.size(); ++column) {
        if (left_out(names[column])) continue;
        out += '\t';
        if (names[column] == design_column) {
            shell::append_number(out, cells.front()[column]);
            continue;
        }
        for (std::size_t r = 0; r < replicates.size(); ++r) column_values[r] = cells[r][column];
        const MeanAndError summary = mean_and_error(column_values);
        shell::append_number(out, summary.mean);
        out += '\t';
        shell::append_number(out, summary.standard_error);
    }
    return out + '\n';
}

std::string summary(std::span<const Replicate> replicates,
                    const std::optional<measures::DesignSummary>& design)
{
    const auto& rows = replicates.front().generations;
    std::string out = "# replicates: " + std::to_string(replicates.size()) + '\n';
    out += "# generations: " + std::to_string(rows.size());
    if (!rows.empty())
        out += ", from " + std::to_string(rows.front().generation) + " to " +
               std::to_string(rows.back().generation);
    out += '\n';
    if (design) out += design_line(*design);
    return out;
}

}  // namespace

MeanAndError mean_and_error(std::span<const double> values)
{
    double sum = 0;
    std::size_t count = 0;
    for (const double value : values)
        if (!std::isnan(value)) sum += value, ++count;
    if (count == 0) return {undefined, undefined};
    const double mean = sum / static_cast<double>(count);
    if (count == 1) return {mean, undefined};
    double squares = 0;  // about the mean, the second pass: no cancellation
    for (const double value : values)
        if (!std::isnan(value)) squares += (value - mean) * (value - mean);
    const double n = static_cast<double>(count);
    return {mean, std::sqrt(squares / (n - 1) / n)};
}

void check_same_generations(std::span<const Replicate> replicates)
{
    for (const Replicate& replicate : replicates.subspan(1))
        check_against(replicate, replicates.front());
}

std::string replicate_table_text(std::span<const Replicate> replicates,
                                 const std::optional<measures::DesignSummary>& design)
{
    const std::vector<std::string_view> names = generation_column_names();
    std::string out = summary(replicates, design) + header(names);
    for (std::size_t row = 0; row < replicates.front().generations.size(); ++row)
        out += row_text(replicates, row, names);
    return out;
}

}  // namespace pedsim::stats
