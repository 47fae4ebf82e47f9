// The table of a replicate study: the per-generation tables of several
// pedigrees of one design, summed up as the mean of every column across them
// and its standard error, generation by generation.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "measures/results.h"

namespace pedsim::stats {

// One replicate as the study sees it: its pedigree's name in messages and
// the rows of its per-generation table.
struct Replicate {
    std::string name;
    std::vector<measures::GenerationRow> generations;
};

// The mean of the defined values (not NaN) and its standard error s / sqrt(n),
// s the sample standard deviation (divisor n - 1); NaN for a mean of no value
// and for an error of fewer than two.
struct MeanAndError {
    double mean = 0;
    double standard_error = 0;
};
MeanAndError mean_and_error(std::span<const double> values);

// Throws a Failure (input_refused) "NAME: ..." naming the first replicate
// whose generations differ from the first replicate's, and a generation that
// one has and the other has not. Assumes each replicate's rows ascend.
void check_same_generations(std::span<const Replicate> replicates);

// The study's table: summary lines "# replicates: N", "# generations: ...",
// and the design line when `design` is given; then the header "generation",
// each other column X of the per-generation table as X (its mean across the
// replicates) and X_se (its standard error), except expected_F, the same in
// every replicate, written once where it stands, and the columns that are
// themselves a standard error within one pedigree (Ne_individual_se), left
// out since the error across the replicates takes their name; then one row
// per generation. Assumes check_same_generations passed and at least one
// replicate. The values are summed in the replicates' order, so the table
// never depends on the order in which they were analysed.
std::string replicate_table_text(std::span<const Replicate> replicates,
                                 const std::optional<measures::DesignSummary>& design);

}  // namespace pedsim::stats
