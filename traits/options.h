// The command line of pedsim-traits:
//   pedsim-traits --model MODEL [-o FILE] [--animals FILE] [--numeric DIR]
//                 [--numeric-layout wide|long] [--effects FILE]
//                 [--check FILE] [--seed N] [--threads N] [--columns LIST]
//                 [--header | --no-header] [--unknown LABELS] [--selfing] [PEDIGREE]
//   pedsim-traits --help | -h | --version
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "pedigree/reading_options.h"
#include "shell/command_line.h"

namespace pedsim::traits {

// The reading options (--columns, --header, ...) are those of every program
// that reads a pedigree.
struct Options : pedigree::ReadingOptions, shell::ProgramOptions {
    std::string pedigree = "pedig";      // "-": standard input
    std::optional<std::string> model;    // --model MODEL, needed for a run
    std::optional<std::string> output;   // -o FILE; standard output when none or "-"
    std::optional<std::string> animals;  // --animals FILE; "-": standard output
    std::optional<std::string> numeric;  // --numeric DIR
    bool numeric_long = false;           // --numeric-layout long: a line per record and trait
    std::optional<std::string> effects;  // --effects FILE; "-": standard output
    std::optional<std::string> check;    // --check FILE; standard error when none, "-": output
    std::optional<std::uint64_t> seed;   // --seed N, over the model's seed
    std::optional<std::size_t> threads;  // --threads N for the draws; the machine's count
};

// Reads the arguments after the program's name, as pedsim-stats does: a
// value follows its option as the next argument or after '=' ("-oFILE"),
// "--" ends the options, the reading options mean what they mean there. Throws a Failure (request_refused) whose message ends
// with a hint at --help for an unknown option, an option without its value
// or given twice, a second PEDIGREE, no --model for a run, a
// --numeric-layout other than wide or long, a --seed that is
// not an integer 0 .. 2^64-1, a --threads not 1 .. 64. Outputs are checked once read (refuse_unsafe_outputs).
Options read_options(std::span<const char* const> arguments);

// The text --help writes.
std::string usage_text();

// The text --version writes: "pedsim-traits VERSION".
std::string version_text();

}  // namespace pedsim::traits
