// The program as a user runs it: "parpop" in, "pedig" out, in the working
// directory.
#pragma once

#include <ostream>

#include "failure.h"

namespace pedsim {

// Opens "parpop" then "pedig" (creating a missing one, changing neither),
// reads and checks the parameters, simulates, and writes "pedig" from its
// start. When the protocol is too large, writes the protocol line to `out`
// and leaves "pedig" as it was. Returns the exit status; every other failure
// throws a Failure, and any failure before the writing leaves "pedig" as it
// was.
ExitStatus run_program(std::ostream& out);

}  // namespace pedsim
