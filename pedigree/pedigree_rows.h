// The rows of a pedigree file: its text split into lines and fields, the
// separator, the header and the columns decided once per file, and each row
// reduced to its animal, sire, dam, and generation and sex when given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/column_layout.h"
#include "pedigree/name_table.h"
#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

using LineNumber = std::size_t;  // counted from 1, as editors show them

// How the command line asks a pedigree to be read.
struct ReadingRules {
    ColumnChoice columns;                     // --columns; no entries when not given
    std::optional<bool> header;               // --header, --no-header; guessed when none
    std::vector<std::string> unknown_labels;  // --unknown: more marks of an unknown parent
    bool selfing = false;                     // --selfing: sire == dam accepted
};

// The refusals of one pedigree file, carried through the reader with the
// file's name: each throws a Failure (input_refused) placed in the file,
// "FILE: line N: what", or "FILE: what" for the file as a whole. Names in
// `what` are written with quoted() (common/failure.h).
class Refusal {
public:
    explicit Refusal(std::string_view file_name) : file_name_(file_name) {}
    [[noreturn]] void operator()(LineNumber line, const std::string& what) const;
    [[noreturn]] void whole_file(const std::string& what) const { (*this)(0, what); }
    std::string_view file_name() const { return file_name_; }

private:
    std::string_view file_name_;
};

// The line of `text` on which `position` (a pointer into text) stands.
LineNumber line_at(std::string_view text, const char* position);

inline constexpr std::int64_t no_generation = INT64_MIN;

// The rows in input order, by column: each identifier an entry of `names`
// (views into the text), an unknown parent `unknown`. Every animal is
// entered as its row is read, so an animal listed twice is refused on its
// second row.
struct PedigreeRows {
    NameTable names;  // each entry's view is on its own row when it has one
    std::vector<NameEntry> animal, sire, dam;
    std::vector<AnimalIndex> entry_row;    // per entry: the row of its own, or unknown
    std::vector<std::int64_t> generation;  // one per row with a time column; no_generation: missing
    std::vector<Sex> sex;                  // one per row with a sex column
    // One per row when the time column holds dates (its first value is one):
    // the date in fractional years; NaN where it is missing.
    std::vector<double> birth_time;
    std::size_t generations_missing = 0;
    std::string generation_source;  // as Pedigree::generation_source says it
    std::string layout;             // as Pedigree::layout says it
    std::vector<std::string> notes;
};

// Reads the rows of `text` (its byte order mark already gone) by the rules
// the header comment of pedigree_reader.h gives. Throws a Failure
// (input_refused) naming the line for a malformed row, a NUL byte, an
// animal listed twice ("animal NAME is listed twice (lines A and B)", when
// the second row is read), and (request_refused) for a --columns that the
// file's header contradicts. The reader itself is rows_reader.h.
PedigreeRows read_rows(std::string_view text, const Refusal& refuse, const ReadingRules& rules);

}  // namespace pedsim::pedigree
