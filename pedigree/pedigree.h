// A pedigree as the statistics read it: animals in an order where every
// parent stands before its offspring, with their parents and generations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pedsim::pedigree {

// Index of an animal in a Pedigree, counted from 0; `unknown` for a parent
// that is not known.
using AnimalIndex = std::int32_t;
inline constexpr AnimalIndex unknown = -1;

// An animal's sex as a sex column records it.
enum class Sex : std::int8_t {
    unrecorded,
    male,
    female,
};

struct Pedigree {
    // One entry per animal, parents before offspring: sire[i] and dam[i] are
    // below i or unknown (and may be equal when selfing is accepted).
    std::vector<std::string> names;        // identifiers as they stand in the input
    std::vector<AnimalIndex> sire;         // the sire's index, or unknown
    std::vector<AnimalIndex> dam;          // the dam's index, or unknown
    std::vector<std::int64_t> generation;  // the group of the animal's row in the table
    bool generation_given = false;         // read from a column, not derived
    // With a time column: whether each animal's value stands on its own row;
    // false where it was filled in (a missing value, a parent without a
    // row). Empty otherwise.
    std::vector<bool> generation_recorded;
    // With a time column of dates: each animal's birth in fractional years
    // (generation holds its year), so ages at birth count days; empty
    // otherwise. Animals without a date of their own have their year's start.
    std::vector<double> birth_time;
    // With a sex column: each animal's recorded sex (unrecorded for a parent
    // without a row); empty otherwise.
    std::vector<Sex> sex;
    std::size_t founders_added = 0;  // parents without a row of their own, added

    // How the file was read, for the summary lines: where the generations
    // come from (the words in parentheses of "# generations"), and a note on
    // the layout (separator, columns, ignored columns) when it is not the
    // plain blank-separated "animal sire dam [generation]"; empty then.
    std::string generation_source;
    std::string layout;
    // Notes for standard error: what the reader guessed and how to decide it.
    std::vector<std::string> notes;

    std::size_t size() const { return names.size(); }
};

}  // namespace pedsim::pedigree
