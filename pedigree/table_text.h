// How the programs' tables write their cells: every number in the shortest
// form that reads back to the same value (std::to_chars), so that the same
// values give the same bytes, an empty cell for an undefined value (NaN),
// and parents by their names, "0" when unknown.
#pragma once

#include <charconv>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

#include "pedigree/indexing.h"
#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

// Appends a number in its shortest exact form; nothing for NaN.
template <class Number>
void append_number(std::string& out, Number value)
{
    if constexpr (std::floating_point<Number>)
        if (std::isnan(value)) return;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

// Appends each number with `separator` before it.
template <class... Numbers>
void append_cells(std::string& out, char separator, Numbers... values)
{
    ((out += separator, append_number(out, values)), ...);
}

// A number in its shortest exact form.
template <class Number>
std::string number_text(Number value)
{
    std::string out;
    append_number(out, value);
    return out;
}

// The name of a parent as the tables write it: "0" when unknown.
inline std::string_view parent_name(const Pedigree& pedigree, AnimalIndex parent)
{
    if (parent == unknown) return "0";
    return pedigree.names[position(parent)];
}

// Appends "animal<TAB>sire<TAB>dam" for the animal at `animal`.
inline void append_names(std::string& out, const Pedigree& pedigree, std::size_t animal)
{
    out += pedigree.names[animal];
    out += '\t';
    out += parent_name(pedigree, pedigree.sire[animal]);
    out += '\t';
    out += parent_name(pedigree, pedigree.dam[animal]);
}

}  // namespace pedsim::pedigree
