// The program as a user runs it: "parpop" in, "pedig" out, in the working
// directory.
#pragma once

#include <ostream>

#include "common/failure.h"

namespace pedsim::sim {

// Opens "parpop" then "pedig" (creating a missing one, changing neither),
// reads and checks the parameters, simulates, and replaces "pedig" with the
// pedigree. When the protocol is too large, writes the protocol line to `out`
// and leaves "pedig" as it was. Returns the exit status; every other failure
// throws a Failure and leaves "pedig" as it was, unless "pedig" is written in
// place (see PedigreeOutput).
common::ExitStatus run_program(std::ostream& out);

}  // namespace pedsim::sim
