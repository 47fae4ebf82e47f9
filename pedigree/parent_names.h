// How the programs' tables name animals: parents by their names, "0" when
// unknown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pedigree/indexing.h"
#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

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
