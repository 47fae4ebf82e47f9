// The input files of the statistics and the trait simulation: a pedigree, a
// model or a design, or standard input, read whole.
#pragma once

#include <string>

#include "common/files.h"

namespace pedsim::shell {

// The name that messages give the input `path`: "standard input" for "-".
std::string input_name(const std::string& path);

// The file at `path` opened for reading, or a copy of standard input for "-".
// Throws a Failure (file_error) "NAME: cannot open: REASON".
common::FileDescriptor open_input(const std::string& path);

// The whole text of the file at `path`, or of standard input for "-",
// decompressed when it is gzip or zstd data (see compressed_input.h).
// Throws a Failure: file_error "NAME: cannot open: REASON" or "NAME: cannot
// read: REASON"; input_refused for a text without a line end in its first
// 64 MiB (such as /dev/zero), for bzip2 or xz data and for damaged data.
std::string read_input(const std::string& path);

}  // namespace pedsim::shell
