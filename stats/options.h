// The command line of pedsim-stats:
//   pedsim-stats [-o FILE] [--animals FILE] [--design PARPOP] [--time SCALE]
//                [--reference FROM-TO] [PEDIGREE]
//   pedsim-stats --help | -h | --version
#pragma once

#include <optional>
#include <span>
#include <string>

namespace pedsim::stats {

struct Options {
    enum class Request {
        run,
        help,
        version,
    };
    Request request = Request::run;
    std::string pedigree = "pedig";        // "-": standard input
    std::optional<std::string> output;     // -o FILE; standard output when none
    std::optional<std::string> animals;    // --animals FILE
    std::optional<std::string> design;     // --design PARPOP
    std::optional<std::string> time;       // --time generation|year
    std::optional<std::string> reference;  // --reference FROM-TO
};

// Reads the arguments after the program's name. An option's value follows it
// as the next argument or after '=' ("--animals=FILE", "-oFILE"); "--" ends
// the options. Throws a Failure (usage_refused) whose one-line message ends
// with a hint at --help, for an unknown option, an option without its value
// or given twice, a second PEDIGREE, -o and --animals naming one file, a
// --time other than generation or year, or a --reference that is no range.
Options read_options(std::span<const char* const> arguments);

// The text --help writes.
std::string usage_text();

// The text --version writes: "pedsim-stats VERSION".
std::string version_text();

}  // namespace pedsim::stats
