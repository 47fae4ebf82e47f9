// The exit statuses of pedsim-stats, in pedsim's numbering: 0 success, 3 out
// of memory and 4 a file that cannot be opened, read or written mean what
// they mean there; 1 and 2 take the meanings below.
#pragma once

#include "failure.h"

namespace pedsim::stats {

// 1: the pedigree or the design file is read but refused, whatever the reason.
inline constexpr ExitStatus input_refused = ExitStatus::bad_parameter_file;

// 2: the command line is refused: an unknown option, a missing or extra operand.
inline constexpr ExitStatus usage_refused = ExitStatus::refused_parameters;

}  // namespace pedsim::stats
