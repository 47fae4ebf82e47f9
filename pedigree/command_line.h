// What the command lines of the programs that read a pedigree share: how an
// option takes its value, the refusal of a command line, and the options
// that say how the pedigree is read, with their help text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pedigree/pedigree_rows.h"

namespace pedsim::stats {

// Throws a Failure (usage_refused) "WHAT (PROGRAM --help lists the options)".
[[noreturn]] void refuse_usage(std::string_view program, const std::string& what);

// The integer value `text` of `option`, from `least` to `most`. Refuses
// anything else, through refuse_usage: OPTION "TEXT" is not an integer from
// LEAST to MOST.
std::uint64_t integer_option(std::string_view program, std::string_view option,
                             const std::string& text, std::uint64_t least, std::uint64_t most);

// An option as an argument names it, with its value when written after '='
// ("--animals=FILE") or right after a one-letter option ("-oFILE").
struct NamedOption {
    std::string_view option;
    std::optional<std::string_view> value;
};
NamedOption split_option(std::string_view argument);

// Stores the value of `named`, the option at arguments[k], in `slot`: its
// attached value, or the next argument (k moves past it). Refuses, through
// refuse_usage, an option given twice, without its value or with an empty
// one: "OPTION needs KIND after it", KIND being e.g. "a file name".
void read_value(std::span<const char* const> arguments, std::size_t& k, const NamedOption& named,
                std::optional<std::string>& slot, std::string_view kind, std::string_view program);

// The options that say how a pedigree is read, the same in every program.
struct ReadingOptions {
    std::optional<std::string> columns;  // --columns LIST
    std::optional<std::string> unknown;  // --unknown LABEL[,LABEL...]
    std::optional<bool> header;          // --header (true), --no-header (false)
    bool selfing = false;                // --selfing: sire == dam accepted
};

// Reads arguments[k] into `reading` when it is one of those options (k moves
// past its value); false when it is none. Refuses, through refuse_usage,
// --header with --no-header and what read_value refuses.
bool read_reading_option(std::span<const char* const> arguments, std::size_t& k,
                         ReadingOptions& reading, std::string_view program);

// The reading rules that --columns, --header, --no-header, --selfing and
// --unknown give; throws a Failure (usage_refused) for a malformed --columns.
ReadingRules reading_rules(const ReadingOptions& reading);

// The lines of --help that describe the reading options.
std::string reading_options_usage();

}  // namespace pedsim::stats
