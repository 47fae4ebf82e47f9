// What pedsim does with its arguments: the parameters always come from
// "parpop", so the only arguments it acts on ask for its usage or version.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "shell/command_line.h"

namespace pedsim::sim {

// Reads the arguments after the program's name: "--help" or "-h" asks for
// the usage, "--version" for the version; otherwise every argument is named
// on `err` as ignored, once, and the run goes ahead.
shell::Request read_command_line(std::span<const char* const> arguments, std::ostream& err);

// The text --help writes.
std::string usage_text();

// The text --version writes.
std::string version_text();

}  // namespace pedsim::sim
