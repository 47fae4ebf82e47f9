// The command line of pedsim-breed:
//   pedsim-breed --program FILE [-o PEDIGREE] [--animals FILE] [--records FILE]
//                [--numeric DIR] [--summary FILE] [--seed N] [--threads N]
//   pedsim-breed --help | -h | --version
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "shell/command_line.h"

namespace pedsim::breed {

// What the command line asks besides the shell's request and closed streams.
struct Options : shell::ProgramOptions {
    std::optional<std::string> program;  // --program FILE, needed for a run
    std::optional<std::string> output;   // -o PEDIGREE; standard output when none or "-"
    std::optional<std::string> animals;  // --animals FILE
    std::optional<std::string> records;  // --records FILE
    std::optional<std::string> numeric;  // --numeric DIR
    std::optional<std::string> summary;  // --summary FILE; standard error when none
    std::optional<std::uint64_t> seed;   // --seed N, over the program's seed
    std::optional<std::size_t> threads;  // --threads N; the machine's count
};

// Reads the arguments after the program's name as the other programs do (a
// value after its option or after '=', "--" ends the options). Throws a
// Failure (request_refused) ending with a hint at --help for an unknown option,
// an operand, an option without its value or given twice, no --program for
// a run, a --seed not 0 .. 2^64-1, a --threads not 1 .. 64.
Options read_options(std::span<const char* const> arguments);

// The text --help writes.
std::string usage_text();

// The text --version writes: "pedsim-breed VERSION".
std::string version_text();

}  // namespace pedsim::breed
