// Reader of the parameter file "parpop".
//
// The file holds two free-form records. The first gives the seven counts
// ngen nsire ndps noff nsirep ndpsp noffp, separated by blanks, tabs, commas
// or line ends, possibly over several lines; the rest of the line holding the
// seventh is ignored. The second record is the seed iseed: the first item
// after that line (blank lines skipped); the rest of the file is ignored.
// An item is an optionally signed decimal integer, or r*value for r copies
// of value. CR-LF line ends are accepted.
#pragma once

#include <string>
#include <string_view>

#include "common/files.h"
#include "design/parameters.h"

namespace pedsim::design {

// Reads the whole of `file`, a parameter file: a few lines, so that more
// than 1 MiB is refused as a Failure (file_error) naming `name`, and a device
// or an endless file cannot hang the run.
std::string read_parameter_text(const common::FileDescriptor& file, const std::string& name);

// Parses the text of a parameter file. Throws a Failure (input_refused)
// naming the file, the item and what was expected when the text ends before
// an item, an item is not an integer or does not fit in 32 bits, an item
// between two commas is empty, or a slash ends a record early.
Parameters parse_parameters(std::string_view text, std::string_view file_name = "parpop");

}  // namespace pedsim::design
