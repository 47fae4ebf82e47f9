#include "traits/options.h"

#include <string_view>

#include "common/exit_status.h"
#include "common/failure.h"
#include "pedigree/reading_options.h"
#include "shell/command_line.h"

namespace pedsim::traits {

namespace {

constexpr std::string_view program = "pedsim-traits";

[[noreturn]] void refuse(const std::string& what) { shell::refuse_usage(program, what); }

// Reads one option at arguments[k]; moves k past its value.
void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options,
                 shell::SeedAndThreads& numbers, std::optional<std::string>& layout)
{
    const std::string_view argument = arguments[k];
    if (shell::read_request(argument, options.request) ||
        pedigree::read_reading_option(arguments, k, options, program))
        return;
    const shell::ValuedOption valued[] = {
        {"--model", &options.model},     {"-o", &options.output},
        {"--animals", &options.animals}, {"--numeric", &options.numeric},
        {"--check", &options.check},     {"--effects", &options.effects},
        {"--numeric-layout", &layout},   {"--seed", &numbers.seed},
        {"--threads", &numbers.threads}};
    shell::read_valued_option(arguments, k, valued, program);
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    shell::SeedAndThreads numbers;
    std::optional<std::string> layout;
    bool pedigree_given = false;
    shell::read_arguments(
        arguments, [&](std::size_t& k) { read_option(arguments, k, options, numbers, layout); },
        [&](std::string_view pedigree) {
            if (pedigree_given)
                refuse("a second pedigree file " + std::string(pedigree) + " after " +
                       options.pedigree);
            options.pedigree = pedigree;
            pedigree_given = true;
        });
    numbers.read_into(program, options.seed, options.threads);
    if (layout && *layout != "wide" && *layout != "long")
        refuse("--numeric-layout \"" + *layout + "\" is not wide or long");
    options.numeric_long = layout == "long";
    if (options.request == shell::Request::run && !options.model)
        refuse("no trait model; give --model MODEL");
    return options;
}

std::string usage_text()
{
    return "Usage: pedsim-traits --model MODEL [options] [PEDIGREE]\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and the trait model\n"
           "MODEL (TOML, see pedsim-traits(1)), simulates true breeding values and records\n"
           "along the pedigree, and writes the records as a tab-separated table. A summary\n"
           "and a per-generation check against theory go to standard error. PEDIGREE is\n"
           "read as pedsim-stats reads it, with the same reading options.\n"
           "\n"
           "Options:\n"
           "  --model MODEL     the trait model (needed)\n"
           "  -o FILE           write the records to FILE instead of standard output (\"-\")\n"
           "  --animals FILE    also write F, msv, breeding values and pe of every animal\n"
           "                    (\"-\": standard output, when -o names a file)\n"
           "  --numeric DIR     also write pedigree.txt, data.txt, ids.txt and README.txt\n"
           "                    in DIR, every code 1..levels, with blupf90.par and wombat.par\n"
           "  --numeric-layout wide|long\n"
           "                    data.txt with a line per record (wide, the default) or per\n"
           "                    record and trait, the trait's number first (long)\n"
           "  --effects FILE    also write the true value of every fixed effect level\n"
           "  --check FILE      write the summary and check table to FILE, not standard error\n"
           "                    (\"-\": standard output, when -o names a file)\n"
           "  --seed N          the seed, over the model's\n"
           "  --threads N       draw on N threads (default: the machine's cores, at most 8);\n"
           "                    the output is the same for any N\n" +
           pedigree::reading_options_usage() +
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-traits ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::traits
