// The options that say how a pedigree is read, the same in every program
// that reads one, with their help text.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pedigree/pedigree_rows.h"

namespace pedsim::pedigree {

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
// --unknown give; throws a Failure (request_refused) for a malformed --columns.
ReadingRules reading_rules(const ReadingOptions& reading);

// The lines of --help that describe the reading options.
std::string reading_options_usage();

}  // namespace pedsim::pedigree
