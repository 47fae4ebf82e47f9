#include "options.h"

#include <algorithm>
#include <string_view>

#include "column_layout.h"

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
    if (option == "--columns") return &options.columns;
    if (option == "--unknown") return &options.unknown;
    return nullptr;
}

// Sets the switch that `argument` names; false when it names none.
bool read_switch(std::string_view argument, Options& options)
{
    if (argument == "--selfing") {
        options.selfing = true;
    } else if (argument == "--fe-known-only") {
        options.fe_known_only = true;
    } else if (argument == "--header" || argument == "--no-header") {
        const bool header = argument == "--header";
        if (options.header && *options.header != header)
            refuse("--header and --no-header contradict each other");
        options.header = header;
    } else {
        return false;
    }
    return true;
}

// "a file name" for the options that take one, "a value" for the others.
const char* value_kind(std::string_view option)
{
    return option == "--columns" || option == "--unknown" ? "a value" : "a file name";
}

// Reads one option at arguments[k]; moves k past its value.
void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options)
{
    const std::string_view argument = arguments[k];
    if (argument == "--help" || argument == "-h") options.request = Options::Request::help;
    if (argument == "--version") options.request = Options::Request::version;
    if (argument == "--help" || argument == "-h" || argument == "--version") return;
    if (read_switch(argument, options)) return;
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
    return options;
}

ReadingRules reading_rules(const Options& options)
{
    ReadingRules rules;
    if (options.columns) rules.columns = read_column_spec(*options.columns);
    rules.header = options.header;
    rules.selfing = options.selfing;
    if (options.unknown) {
        const std::string_view labels = *options.unknown;
        for (std::size_t start = 0; start <= labels.size();) {
            const std::size_t end = std::min(labels.find(',', start), labels.size());
            if (end > start) rules.unknown_labels.emplace_back(labels.substr(start, end - start));
            start = end + 1;
        }
    }
    return rules;
}

FounderRule founder_rule(const Options& options)
{
    return options.fe_known_only ? FounderRule::known_founders_only
                                 : FounderRule::missing_parent_is_founder;
}

std::string usage_text()
{
    return "Usage: pedsim-stats [options] [PEDIGREE]\n"
           "       pedsim-stats [options] PEDIGREE PEDIGREE...\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and writes its\n"
           "inbreeding, coancestry and effective size per generation as a tab-separated\n"
           "table. PEDIGREE holds rows \"animal sire dam [generation]\": a pedsim pedigree\n"
           "file, or any pedigree separated by blanks, tabs, commas or semicolons, with\n"
           "or without a header, plain, gzip or zstd (see pedsim-stats(1)).\n"
           "Two or more PEDIGREEs, the replicates of one design, give one table of the\n"
           "mean and standard error of every column across them (mean_F, mean_F_se, ...).\n"
           "\n"
           "Options:\n"
           "  -o FILE           write the table to FILE instead of standard output (\"-\")\n"
           "  --animals FILE    also write F, ECG and dF_individual of every animal to FILE\n"
           "                    (\"-\": standard output, when -o names a file)\n"
           "  --design PARPOP   add the expected inbreeding of the design in the pedsim\n"
           "                    parameter file PARPOP, and its Wright's Ne\n"
           "  --each DIR        with replicates, also write each one's own table in DIR\n"
           "  --columns SPEC    the columns of the animal, sire, dam and optionally the\n"
           "                    generation or birth year and the sex, by header name or\n"
           "                    1-based number: id=ID,sire=SIRE,dam=DAM,time=YEAR,sex=SEX\n"
           "                    or 1,2,3,5\n"
           "  --header          the first line is a header, whatever it holds\n"
           "  --no-header       the first line is an animal, whatever it holds\n"
           "  --unknown LABELS  also read these comma-separated labels (any case) as an\n"
           "                    unknown parent, e.g. --unknown unknown,unk,?\n"
           "  --selfing         accept an animal whose sire is its dam (plants)\n"
           "  --fe-known-only   count only known parents in the effective number of\n"
           "                    founders, rescaled, instead of the missing parent of an\n"
           "                    animal with one known parent as a founder of its own\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-stats ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::stats
