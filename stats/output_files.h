// The files pedsim-stats writes, all or none: a failure leaves every file
// named as an output as it was.
#pragma once

#include <span>
#include <string>

namespace pedsim::stats {

struct Output {
    std::string path;  // the file; empty for standard output
    std::string text;  // its whole contents
};

// Writes each text in full. A regular file (or a new one) is written to a
// temporary file beside it, and all of them are renamed into place only once
// every text, standard output's included, is written; a device or a pipe
// takes its text directly. Throws a Failure (file_error) "NAME: cannot
// ACTION: REASON" at the first failure, the temporary files removed.
void write_outputs(std::span<const Output> outputs);

}  // namespace pedsim::stats
