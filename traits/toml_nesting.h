// How deep a TOML text nests, found by a scan of its characters before the
// TOML library parses it: the library descends recursively into dotted keys,
// table headers, arrays and inline tables, and a text nested thousands of
// levels deep would overflow the stack.
#pragma once

#include <cstddef>
#include <string_view>

namespace pedsim::traits {

// Most levels a trait model may nest. Each part of a dotted key or of a table
// header after the first, each array and each inline table is one level: a
// matrix (an array of arrays) is 2, a table header [a.b] followed by c.d = [1]
// is 4.
inline constexpr std::size_t most_nesting_levels = 16;

// Throws a Failure (input_refused) "FILE: line N: nested more than 16 levels
// deep (...); write the model flatter" at the first character of `text`, read
// from `file_name`, that goes beyond most_nesting_levels. Strings (basic,
// literal, multi-line) and comments are skipped; any other text is accepted,
// its syntax being the library's to check.
void refuse_deep_nesting(std::string_view text, std::string_view file_name);

}  // namespace pedsim::traits
