// The fields of one line of a pedigree file, and the identifiers they hold,
// in every layout the reader accepts: blank- or comma-separated, quoted or
// not, integers written by a program that turned them into decimals.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace pedsim::stats {

// Splits `line` (without its line end) into `fields`, replacing what they
// held; the fields are views into `line`. A line holding a comma is split at
// every comma, each field trimmed of blanks and tabs (an empty field stays,
// as an unknown parent); any other line at runs of blanks and tabs. A field
// that starts with a double quote runs to the next one, and both quotes go.
// Returns nullptr, or what is wrong with the line's quotes.
const char* split_fields(std::string_view line, std::vector<std::string_view>& fields);

// The identifier a field stands for: the field itself, except that a whole
// number written with a zero fraction ("12.0", "-3.00") loses the fraction.
std::string_view identifier(std::string_view field);

// True for an identifier that marks an unknown parent: "", "0", "NA", ".", "-".
bool is_unknown(std::string_view identifier);

// True for a header line: its second field contains "sire" or "father", its
// third "dam" or "mother", ignoring case.
bool is_header(std::span<const std::string_view> fields);

}  // namespace pedsim::stats
