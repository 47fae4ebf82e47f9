// The frame of a program's main(): the process prepared, the program run,
// and a failure turned into one line on standard error and its exit status.
#pragma once

#include <functional>
#include <string_view>

#include "common/process_setup.h"

namespace pedsim {

// Notes which standard streams are closed (closed_streams), prepares the
// process (prepare_process), then calls run with them.
// Returns 0 when it returns; prints "PROGRAM: MESSAGE" for a Failure and
// returns its status, and "PROGRAM: out of memory" with status 3 for a
// bad_alloc.
int run_program(std::string_view program, const std::function<void(ClosedStreams)>& run);

}  // namespace pedsim
