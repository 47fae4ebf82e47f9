// Reader of a pedigree for the statistics: pedsim's own "pedig", or a real
// pedigree written by hand, by R or by pandas.
//
// A row is `animal sire dam [generation]`. Fields are separated by blanks
// and tabs, or by commas on a line holding a comma (then an empty field is an
// unknown parent); a field in double quotes loses them. Line ends LF or
// CR LF, a leading UTF-8 byte order mark ignored; blank lines and lines whose
// first non-blank is '#' are skipped.
// The first other line is a header, and skipped, when its second field
// contains "sire" or "father" and its third "dam" or "mother" (any case).
// "", "0", "NA", "." and "-" mark an unknown parent; "12.0" is "12". Every
// row has the first row's 3 or 4 fields; the fourth is an integer
// (generation or birth year) that only groups the rows. A parent without a
// row of its own is added as a founder.
#pragma once

#include <string_view>

#include "pedigree.h"

namespace pedsim::stats {

// Reads the whole text of a pedigree file and returns its animals, parents
// before offspring, in the input order as far as that allows (a file already
// in such an order keeps it). Added parents stand just before their first
// offspring, in the generation before the earliest of their offspring's when
// a fourth column is given; without one, a founder's generation is 0 and any
// other animal's is 1 + the latest of its parents'. Throws a Failure
// (input_refused) "FILE: line N: what is wrong" naming the identifiers when a
// row is malformed, an animal is listed twice, is its own sire, dam or
// ancestor, or is used both as a sire and as a dam, or when there is no row.
Pedigree read_pedigree(std::string_view text, std::string_view file_name);

}  // namespace pedsim::stats
