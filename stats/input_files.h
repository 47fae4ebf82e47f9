// The files pedsim-stats reads: the pedigree, or standard input, and the
// parameter file of a design.
#pragma once

#include <string>

#include "parameters.h"

namespace pedsim::stats {

// The name that messages give the input `path`: "standard input" for "-".
std::string input_name(const std::string& path);

// The whole text of the file at `path`, or of standard input for "-",
// decompressed when it is gzip or zstd data (see compressed_input.h).
// Throws a Failure: file_error "NAME: cannot open: REASON" or "NAME: cannot
// read: REASON"; input_refused for a text without a line end in its first
// 64 MiB (such as /dev/zero), for bzip2 or xz data and for damaged data.
std::string read_input(const std::string& path);

// Reads the pedsim parameter file at `path` (never creating it) with pedsim's
// reader and checks, and returns its parameters. Throws a Failure:
// file_error when the file cannot be opened or read or exceeds 1 MiB;
// input_refused, with the reader's or the checks' message, when pedsim would
// refuse it or would write no pedigree because its protocol is too large.
Parameters read_design(const std::string& path);

}  // namespace pedsim::stats
