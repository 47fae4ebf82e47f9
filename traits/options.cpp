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

// The texts of the numeric options, read as numbers once all are read.
struct NumberTexts {
    std::optional<std::string> seed, threads, layout;
};

// Where the value of a valued option goes; nullptr for any other.
std::optional<std::string>* slot_of(std::string_view option, Options& options, NumberTexts& numbers)
{
    if (option == "--model") return &options.model;
    if (option == "-o") return &options.output;
    if (option == "--animals") return &options.animals;
    if (option == "--numeric") return &options.numeric;
    if (option == "--check") return &options.check;
    if (option == "--effects") return &options.effects;
    if (option == "--numeric-layout") return &numbers.layout;
    if (option == "--seed") return &numbers.seed;
    if (option == "--threads") return &numbers.threads;
    return nullptr;
}

void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options,
                 NumberTexts& numbers)
{
    const std::string_view argument = arguments[k];
    if (shell::read_request(argument, options.request) ||
        pedigree::read_reading_option(arguments, k, options, program))
        return;
    const shell::NamedOption named = shell::split_option(argument);
    std::optional<std::string>* slot = slot_of(named.option, options, numbers);
    if (slot == nullptr) refuse("unknown option " + std::string(argument));
    shell::read_value(arguments, k, named, *slot, "a value", program);
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    NumberTexts numbers;
    bool pedigree_given = false;
    shell::read_arguments(
        arguments, [&](std::size_t& k) { read_option(arguments, k, options, numbers); },
        [&](std::string_view pedigree) {
            if (pedigree_given)
                refuse("a second pedigree file " + std::string(pedigree) + " after " +
                       options.pedigree);
            options.pedigree = pedigree;
            pedigree_given = true;
        });
    if (numbers.seed)
        options.seed = shell::integer_option(program, "--seed", *numbers.seed, 0, UINT64_MAX);
    if (numbers.threads)
        options.threads = shell::integer_option(program, "--threads", *numbers.threads, 1, 64);
    if (numbers.layout && *numbers.layout != "wide" && *numbers.layout != "long")
        refuse("--numeric-layout \"" + *numbers.layout + "\" is not wide or long");
    options.numeric_long = numbers.layout == "long";
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
