// The design file of pedsim-stats: a pedsim parameter file whose expected
// inbreeding the table shows beside the pedigree's.
#pragma once

#include <string>

#include "design/parameters.h"

namespace pedsim::design {

// Reads the pedsim parameter file at `path` (never creating it) with pedsim's
// reader and checks, and returns its parameters. Throws a Failure:
// file_error when the file cannot be opened or read or exceeds 1 MiB;
// input_refused, with the reader's or the checks' message, when pedsim would
// refuse it or would write no pedigree because its protocol is too large.
Parameters read_design(const std::string& path);

}  // namespace pedsim::design
