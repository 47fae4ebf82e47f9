// Reader of a pedigree for the statistics: pedsim's own "pedig", or a real
// pedigree exported from R, pandas, a spreadsheet or a herd book.
//
// The text may be gzip or zstd data (see input_files.h). Line ends LF or
// CR LF, a leading UTF-8 byte order mark ignored, UTF-16 and UTF-32 refused;
// blank lines, lines whose first non-blank is '#' and lines of nothing but
// separators are skipped.
// Separator: a tab, else a semicolon, else a comma present on every one of
// the first five data lines, else runs of blanks; with a tab, semicolon or
// comma an empty field is an unknown value. A field in double quotes loses
// them.
// Header: the first data line when all its fields are header words (see
// header_role(); a first empty field is R's row names), or the words of the
// animal, sire and dam stand among other names, or --header says so; also,
// as in earlier versions, when its second field contains "sire" or "father"
// and its third "dam" or "mother" and neither parent is named elsewhere.
// Columns: --columns, else the header's words, else animal, sire, dam and a
// fourth column of integers as generation or birth year; other columns are
// ignored. One data row more than the header's fields is R's row names.
// "", "0", "NA", ".", "-" and the labels of --unknown mark an unknown
// parent; "12.0" is "12". A parent without a row of its own is added as a
// founder.
#pragma once

#include <string_view>

#include "pedigree/pedigree.h"
#include "pedigree/pedigree_rows.h"

namespace pedsim::pedigree {

// Reads the whole text of a pedigree file and returns its animals, parents
// before offspring, in the input order as far as that allows (a file already
// in such an order keeps it). Added parents stand just before their first
// offspring, in the generation before the earliest of their offspring's when
// a generation column is given; an animal without a generation (no column,
// or a missing value) takes 1 + the latest of its parents', a founder the
// earliest of the file (0 without a column). Throws a Failure (input_refused)
// "FILE: line N: what is wrong" naming the identifiers when a row is
// malformed, an animal is listed twice, is its own sire, dam or ancestor, is
// used both as a sire and as a dam (unless rules.selfing), is a sire recorded
// as female or a dam recorded as male, or when there is no row.
Pedigree read_pedigree(std::string_view text, std::string_view file_name,
                       const ReadingRules& rules = {});

}  // namespace pedsim::pedigree
