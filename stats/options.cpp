#include "options.h"

#include <string_view>

#include "exit_status.h"

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
    if (option == "--each") return &options.each;
    return nullptr;
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
        if (++k == arguments.size()) refuse(std::string(option) + " needs a file name after it");
        *slot = std::string(arguments[k]);
    }
    if (slot->value().empty()) refuse(std::string(option) + " needs a file name, not an empty one");
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    bool options_ended = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument.starts_with('-')) {
            read_option(arguments, k, options);
        } else {
            options.pedigrees.emplace_back(argument);
        }
    }
    if (!options.pedigrees.empty()) options.pedigree = options.pedigrees.front();
    if (options.animals && options.pedigrees.size() > 1)
        refuse("--animals takes one pedigree; --each DIR keeps the table of every replicate");
    if (options.each && options.pedigrees.size() < 2)
        refuse("--each needs two or more pedigrees, the replicates of a study");
    if (options.output && options.output == options.animals)
        refuse("-o and --animals both name " + *options.output);
    return options;
}

std::string usage_text()
{
    return "Usage: pedsim-stats [options] [PEDIGREE]\n"
           "       pedsim-stats [options] PEDIGREE PEDIGREE...\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and writes its\n"
           "inbreeding, coancestry and effective size per generation as a tab-separated\n"
           "table. PEDIGREE holds rows \"animal sire dam [generation]\": a pedsim pedigree\n"
           "file, or any pedigree separated by blanks or commas (see pedsim-stats(1)).\n"
           "Two or more PEDIGREEs, the replicates of one design, give one table of the\n"
           "mean and standard error of every column across them (mean_F, mean_F_se, ...).\n"
           "\n"
           "Options:\n"
           "  -o FILE           write the table to FILE instead of standard output\n"
           "  --animals FILE    also write F, ECG and dF_individual of every animal to FILE\n"
           "  --design PARPOP   add the expected inbreeding of the design in the pedsim\n"
           "                    parameter file PARPOP, and its Wright's Ne\n"
           "  --each DIR        with replicates, also write each one's own table in DIR\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-stats ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::stats
