#include "options.h"

#include <string_view>

#include "exit_status.h"
#include "reference_population.h"
#include "time_scale.h"

namespace pedsim::stats {

namespace {

[[noreturn]] void refuse(const std::string& what)
{
    throw Failure(usage_refused, what + " (pedsim-stats --help lists the options)");
}

// The option that an argument names, with its value when written after '='
// or, for -o, right after it.
struct Named {
    std::string_view option;
    std::optional<std::string_view> value;
};

Named split_option(std::string_view argument)
{
    if (argument.starts_with("--")) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string_view::npos) return {argument, std::nullopt};
        return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    if (argument.size() > 2) return {argument.substr(0, 2), argument.substr(2)};
    return {argument, std::nullopt};
}

// Where the value of a valued option goes; nullptr for any other.
std::optional<std::string>* slot_of(std::string_view option, Options& options)
{
    if (option == "-o") return &options.output;
    if (option == "--animals") return &options.animals;
    if (option == "--design") return &options.design;
    if (option == "--time") return &options.time;
    if (option == "--reference") return &options.reference;
    return nullptr;
}

// What an option's value is, for the message when it is missing.
std::string value_kind(std::string_view option)
{
    if (option == "--time") return "a scale (generation or year)";
    if (option == "--reference") return "a range FROM-TO";
    return "a file name";
}

// Refuses a --time or --reference whose value reads as neither.
void check_time_values(const Options& options)
{
    if (options.time && !time_scale_named(*options.time))
        refuse("--time " + *options.time + ": the scale is generation or year");
    if (options.reference && !time_range_named(*options.reference))
        refuse("--reference " + *options.reference +
               ": the range is FROM-TO (integers, FROM <= TO) or one value");
}

// Reads one option at arguments[k]; moves k past its value.
void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options)
{
    const std::string_view argument = arguments[k];
    if (argument == "--help" || argument == "-h") options.request = Options::Request::help;
    if (argument == "--version") options.request = Options::Request::version;
    if (argument == "--help" || argument == "-h" || argument == "--version") return;
    const auto [option, attached] = split_option(argument);
    std::optional<std::string>* slot = slot_of(option, options);
    if (slot == nullptr) refuse("unknown option " + std::string(argument));
    if (slot->has_value()) refuse(std::string(option) + " is given twice");
    if (attached) {
        *slot = std::string(*attached);
    } else {
        if (++k == arguments.size())
            refuse(std::string(option) + " needs " + value_kind(option) + " after it");
        *slot = std::string(arguments[k]);
    }
    if (slot->value().empty())
        refuse(std::string(option) + " needs " + value_kind(option) + ", not an empty one");
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    bool options_ended = false, pedigree_given = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument.starts_with('-')) {
            read_option(arguments, k, options);
        } else if (pedigree_given) {
            refuse("a second pedigree file " + std::string(argument) + " after " +
                   options.pedigree);
        } else {
            options.pedigree = argument;
            pedigree_given = true;
        }
    }
    if (options.output && options.output == options.animals)
        refuse("-o and --animals both name " + *options.output);
    check_time_values(options);
    return options;
}

std::string usage_text()
{
    return "Usage: pedsim-stats [options] [PEDIGREE]\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and writes its\n"
           "inbreeding, coancestry and effective size per generation as a tab-separated\n"
           "table. PEDIGREE holds rows \"animal sire dam [generation]\": a pedsim pedigree\n"
           "file, or any pedigree separated by blanks or commas (see pedsim-stats(1)).\n"
           "\n"
           "Options:\n"
           "  -o FILE           write the table to FILE instead of standard output\n"
           "  --animals FILE    also write F, ECG, dF_individual and mean_kinship of every\n"
           "                    animal to FILE\n"
           "  --design PARPOP   add the expected inbreeding of the design in the pedsim\n"
           "                    parameter file PARPOP, and its Wright's Ne\n"
           "  --time SCALE      the fourth column holds generations (SCALE generation) or\n"
           "                    birth years (SCALE year); by default years when every\n"
           "                    value lies between 1000 and 3000\n"
           "  --reference FROM-TO  the generations or birth years of the reference\n"
           "                    population of fe, fa, fg and mean_kinship; by default the\n"
           "                    last generation, or the birth years of the last interval\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-stats ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::stats
