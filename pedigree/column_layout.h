// Which columns of a pedigree file hold the animal, its sire and dam, and
// optionally its generation or birth year and its sex: from --columns, from
// the words of a header, or by position.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/pedigree_fields.h"

namespace pedsim::pedigree {

// What --columns says: for each role, a 1-based column number or a header name.
struct ColumnChoice {
    struct Entry {
        Role role = Role::none;
        std::size_t number = 0;  // counted from 1; 0 when given by name
        std::string name;        // the header name; empty when given by number
    };
    std::vector<Entry> entries;
    std::string text;  // as given, for messages

    bool names_columns() const;                // some column is given by its header name
    bool names(std::string_view field) const;  // `field` is one of those names (any case)
};

// Reads "id=ID,sire=SIRE,dam=DAM[,time=YEAR][,sex=SEX]" (keys id or animal,
// sire, dam, time, sex; each value a header name or a 1-based number) or
// "1,2,3[,TIME[,SEX]]". Throws a Failure (request_refused) "--columns ...: what
// is wrong" for an unknown key, a missing animal, sire or dam, a role or a
// column given twice, or a column number below 1.
ColumnChoice read_column_choice(std::string_view choice);

// The columns of the rows, counted from 0 in the fields of a row.
struct ColumnLayout {
    std::size_t animal = 0, sire = 1, dam = 2;
    std::optional<std::size_t> time, sex;
    std::size_t fields = 0;  // fields per row; 0 until the first row sets it
    bool row_names = false;  // a first column of row names (R) is skipped

    // The column holding `role`, if any.
    std::optional<std::size_t> column(Role role) const;
    // The columns beyond `fields` that no role uses, counted from 0.
    std::vector<std::size_t> unused() const;
};

// The layout a header line gives: columns found by --columns' names and
// numbers, or by the built-in header words; none when it lacks the
// animal's, the sire's or the dam's. A first field that is empty is R's
// column of row names. Throws a Failure (request_refused) when --columns names
// a column the header does not hold.
std::optional<ColumnLayout> layout_of_header(std::span<const std::string_view> header,
                                             const ColumnChoice& choice);

// The layout --columns gives by numbers alone.
ColumnLayout layout_of_numbers(const ColumnChoice& choice);

}  // namespace pedsim::pedigree
