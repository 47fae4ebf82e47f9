#include "breed/options.h"

#include <string_view>

#include "shell/command_line.h"

namespace pedsim::breed {

namespace {

constexpr std::string_view program_name = "pedsim-breed";

[[noreturn]] void refuse(const std::string& what) { shell::refuse_usage(program_name, what); }

// Reads one option at arguments[k]; moves k past its value.
void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options,
                 shell::SeedAndThreads& numbers)
{
    if (shell::read_request(arguments[k], options.request)) return;
    const shell::ValuedOption valued[] = {
        {"--program", &options.program}, {"-o", &options.output},
        {"--animals", &options.animals}, {"--records", &options.records},
        {"--numeric", &options.numeric}, {"--summary", &options.summary},
        {"--seed", &numbers.seed},       {"--threads", &numbers.threads}};
    shell::read_valued_option(arguments, k, valued, program_name);
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    shell::SeedAndThreads numbers;
    shell::read_arguments(
        arguments, [&](std::size_t& k) { read_option(arguments, k, options, numbers); },
        [](std::string_view operand) {
            refuse("unexpected operand " + std::string(operand) +
                   "; the program file comes after --program");
        });
    numbers.read_into(program_name, options.seed, options.threads);
    if (options.request == shell::Request::run && !options.program)
        refuse("no breeding program; give --program FILE");
    return options;
}

std::string usage_text()
{
    return "Usage: pedsim-breed --program FILE [options]\n"
           "Runs the breeding program FILE (TOML, see pedsim-breed(1)) generation by\n"
           "generation: draws breeding values and records as pedsim-traits does, ranks the\n"
           "candidates on the program's criterion (random, phenotype, tbv, parent_average,\n"
           "blup), selects and mates the sires and dams, and writes the pedigree.\n"
           "\n"
           "Options:\n"
           "  --program FILE    the breeding program (needed)\n"
           "  -o PEDIGREE       write the pedigree (animal sire dam generation sex) to\n"
           "                    PEDIGREE instead of standard output (\"-\")\n"
           "  --animals FILE    also write F, msv, true and estimated values, index and\n"
           "                    selection of every animal\n"
           "  --records FILE    also write the records, as pedsim-traits writes them\n"
           "  --numeric DIR     also write the records and pedigree for BLUPF90 and WOMBAT\n"
           "  --summary FILE    write the per-generation summary to FILE, not standard error\n"
           "  --seed N          the seed, over the program's\n"
           "  --threads N       work on N threads (default: the machine's cores, at most 8);\n"
           "                    the output is the same for any N\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n"
           "\n"
           "Exit status: 0 done, 1 the program file refused, 2 the command line refused or\n"
           "a round without candidates, 3 out of memory, 4 a file error.\n";
}

std::string version_text() { return std::string("pedsim-breed ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::breed
