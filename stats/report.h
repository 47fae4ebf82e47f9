// The tables pedsim-stats writes: tab-separated text, one header line, every
// number in the shortest form that reads back to the same double, and an
// empty cell for an undefined value (NaN).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "measures/analysis.h"
#include "measures/ancestry.h"
#include "pedigree/pedigree.h"

namespace pedsim::stats {

// The per-generation table: summary lines starting with "# " (animals,
// founders and those added, generations, method, effective number of
// founders, and the design when given), the header line, then one row per
// entry of analysis.generations. Assumes `analysis` is analyse(pedigree, ...)
// with its effective number of founders found by `rule`.
std::string generation_table_text(
    const pedigree::Pedigree& pedigree, const measures::Analysis& analysis,
    measures::FounderRule rule = measures::FounderRule::missing_parent_is_founder);

// The per-animal table: header `animal sire dam generation F ECG
// dF_individual`, then one row per animal in the pedigree's order, parents
// named as in the input and "0" when unknown. Assumes `analysis` is
// analyse(pedigree, ...).
std::string animal_table(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis);

// The names of the per-generation table's columns, in the order written.
std::vector<std::string_view> generation_column_names();

// The cells of `row` in that order, as doubles (NaN where a cell is empty).
std::vector<double> generation_row_values(const measures::GenerationRow& row);

// The summary line "# design: Nm = ..., Nf = ..., 1/c = ..., Wright's Ne = ...".
std::string design_line(const measures::DesignSummary& design);

}  // namespace pedsim::stats
