// The fields of one line of a pedigree file, and the identifiers they hold,
// in every layout the reader accepts: separated by blanks, tabs, commas or
// semicolons, quoted or not, integers written by a program that turned them
// into decimals.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace pedsim::pedigree {

enum class Separator {
    blanks,  // runs of blanks and tabs
    tab,
    semicolon,
    comma,
};

// "blank-separated", "tab-separated", ...: as the summary and messages say it.
const char* separator_name(Separator separator);

// The separator of a file whose first data lines are `lines`: a tab, else a
// semicolon, else a comma present on every one of them, else blanks.
Separator separator_of(std::span<const std::string_view> lines);

// The first position at or after `from` that holds no blank (space, tab or
// carriage return); npos when there is none.
std::size_t first_non_blank(std::string_view line, std::size_t from = 0);

// True for a line holding nothing but blanks and separators (",,," as
// spreadsheets write past the last row).
bool is_empty_row(std::string_view line);

// Splits `line` (without its line end) into `fields`, replacing what they
// held; the fields are views into `line`. With a tab, semicolon or comma as
// separator, the line is split at every one, each field trimmed of blanks
// (an empty field stays, as an unknown value); with blanks, at runs of
// blanks and tabs. A field that starts with a double quote runs to the next
// one, and both quotes go. Stops as soon as there would be more than
// `most_fields` fields. Returns nullptr, or what is wrong with the line's
// quotes; `fields.size() > most_fields` tells that the line has too many.
const char* split_fields(std::string_view line, Separator separator, std::size_t most_fields,
                         std::vector<std::string_view>& fields);

// The identifier a field stands for: the field itself, except that a whole
// number written with a zero fraction ("12.0", "-3.00") loses the fraction.
std::string_view identifier(std::string_view field);

// True for an identifier that marks an unknown parent: "", "0", "NA", ".", "-".
bool is_unknown(std::string_view identifier);

// True when `a` and `b` are the same text, ignoring the case of ASCII letters.
bool same_word(std::string_view a, std::string_view b);

// The columns a header word names.
enum class Role {
    none,  // not a header word
    animal,
    sire,
    dam,
    time,  // generation or birth year
    sex,
};

// The role of a header field by the built-in words (whole field, any case):
// animal `id animal ind individual code name`, sire `sire father pere padre
// vater`, dam `dam mother mere madre mutter`, time `generation gen birth year
// born birthyear birth_year date`, sex `sex gender`.
Role header_role(std::string_view field);

// True when the second field contains "sire" or "father" and the third
// "dam" or "mother", ignoring case ("SireID DamID"): the header rule of
// earlier versions, kept for a first line whose parents appear nowhere else.
bool names_parents(std::span<const std::string_view> fields);

}  // namespace pedsim::pedigree
