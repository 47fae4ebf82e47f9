// What pedsim does with its arguments: the parameters always come from
// "parpop", so the only arguments it acts on ask for its usage or version.
#pragma once

#include <ostream>
#include <span>

namespace pedsim {

enum class Request {
    run,       // simulate, as with no arguments
    answered,  // the usage or the version was written; nothing else to do
};

// Reads the arguments after the program's name. "--help" or "-h" writes the
// usage to `out`, "--version" the version; otherwise every argument is
// named on `err` as ignored, once, and the run goes ahead.
Request read_command_line(std::span<const char* const> arguments, std::ostream& out,
                          std::ostream& err);

}  // namespace pedsim
