// pedsim-stats on the replicates of a study: two or more pedigrees of one
// design, analysed on all cores, and summed up in one table.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "stats/options.h"

namespace pedsim::stats {

// Reads the design (when given) and every pedigree of options.pedigrees,
// analyses them in parallel, one pedigree per thread at a time, with a
// progress line on a terminal, refuses them unless they share one set of
// generations, and writes the study's table (replicate_table.h) and, with
// --each, every replicate's own table, all or none. The tables never depend
// on the number of threads. Assumes the pedigrees are distinct files.
// Throws a Failure for every failure, leaving the outputs as they were:
// input_refused naming the pedigree refused.
void run_replicates(const Options& options);

// The paths of the tables --each writes, one per pedigree in order: the
// directory, '/', and the name each_table_names gives. Throws a Failure
// (request_refused) when two pedigrees would get one name. Assumes --each.
std::vector<std::string> each_table_paths(const Options& options);

// The names of the replicates' own tables in the directory of --each: each
// pedigree's path cut at '/', less the leading parts that every path shares
// and less the file name when all share it and something is left before it,
// joined with '-', then ".tsv" ("study/rep-0001/pedig" and
// "study/rep-0002/pedig" give "rep-0001.tsv" and "rep-0002.tsv"). Assumes
// the paths differ.
std::vector<std::string> each_table_names(std::span<const std::string> pedigrees);

}  // namespace pedsim::stats
