#include "options.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "exit_status.h"

namespace pedsim::traits {

namespace {

[[noreturn]] void refuse(const std::string& what)
{
    throw Failure(stats::usage_refused, what + " (pedsim-traits --help lists the options)");
}

struct Named {
    std::string_view option;
    std::optional<std::string_view> value;
};

// The option an argument names, with its value when written after '=' or,
// for -o, right after it.
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

// Where the value of a valued option goes; nullptr for any other. --seed's
// text is kept here and read as a number at the end.
std::optional<std::string>* slot_of(std::string_view option, Options& options,
                                    std::optional<std::string>& seed_text)
{
    if (option == "--model") return &options.model;
    if (option == "-o") return &options.output;
    if (option == "--animals") return &options.animals;
    if (option == "--numeric") return &options.numeric;
    if (option == "--check") return &options.check;
    if (option == "--seed") return &seed_text;
    return nullptr;
}

void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options,
                 std::optional<std::string>& seed_text)
{
    const std::string_view argument = arguments[k];
    if (argument == "--help" || argument == "-h") options.request = Options::Request::help;
    if (argument == "--version") options.request = Options::Request::version;
    if (argument == "--help" || argument == "-h" || argument == "--version") return;
    const auto [option, attached] = split_option(argument);
    std::optional<std::string>* slot = slot_of(option, options, seed_text);
    if (slot == nullptr) refuse("unknown option " + std::string(argument));
    if (slot->has_value()) refuse(std::string(option) + " is given twice");
    if (attached) {
        *slot = std::string(*attached);
    } else {
        if (++k == arguments.size()) refuse(std::string(option) + " needs a value after it");
        *slot = std::string(arguments[k]);
    }
    if (slot->value().empty()) refuse(std::string(option) + " needs a value, not an empty one");
}

std::uint64_t seed_value(const std::string& text)
{
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seed);
    if (error != std::errc() || end != text.data() + text.size())
        refuse("--seed \"" + text + "\" is not an integer from 0 to 18446744073709551615");
    return seed;
}

void check_distinct_outputs(const Options& options)
{
    std::vector<std::string> files;
    for (const auto& file : {options.output, options.animals, options.check}) {
        if (!file) continue;
        for (const std::string& earlier : files)
            if (earlier == *file) refuse("two outputs name " + *file);
        files.push_back(*file);
    }
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    std::optional<std::string> seed_text;
    bool options_ended = false, pedigree_given = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument.starts_with('-')) {
            read_option(arguments, k, options, seed_text);
        } else if (pedigree_given) {
            refuse("a second pedigree file " + std::string(argument) + " after " +
                   options.pedigree);
        } else {
            options.pedigree = argument;
            pedigree_given = true;
        }
    }
    if (seed_text) options.seed = seed_value(*seed_text);
    if (options.request == Options::Request::run && !options.model)
        refuse("no trait model; give --model MODEL");
    check_distinct_outputs(options);
    return options;
}

std::string usage_text()
{
    return "Usage: pedsim-traits --model MODEL [options] [PEDIGREE]\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and the trait model\n"
           "MODEL (TOML, see pedsim-traits(1)), simulates true breeding values and records\n"
           "along the pedigree, and writes the records as a tab-separated table. A summary\n"
           "and a per-generation check against theory go to standard error.\n"
           "\n"
           "Options:\n"
           "  --model MODEL     the trait model (needed)\n"
           "  -o FILE           write the records to FILE instead of standard output\n"
           "  --animals FILE    also write F, msv, breeding values and pe of every animal\n"
           "  --numeric DIR     also write pedigree.txt, data.txt, ids.txt and README.txt\n"
           "                    in DIR, animals numbered 1..N, for BLUPF90, WOMBAT, ASReml\n"
           "  --check FILE      write the summary and check table to FILE, not standard error\n"
           "  --seed N          the seed, over the model's\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-traits ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::traits
