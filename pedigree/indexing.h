// The one translation between an AnimalIndex (signed, with `unknown`) and a
// position in the per-animal vectors (std::size_t). Assumes a known animal.
#pragma once

#include <cstddef>

#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

inline std::size_t position(AnimalIndex animal) { return static_cast<std::size_t>(animal); }

inline AnimalIndex animal_at(std::size_t position) { return static_cast<AnimalIndex>(position); }

inline bool is_known(AnimalIndex parent) { return parent != unknown; }

// An animal with both parents unknown.
inline bool is_founder(const Pedigree& pedigree, std::size_t animal)
{
    return !is_known(pedigree.sire[animal]) && !is_known(pedigree.dam[animal]);
}

}  // namespace pedsim::pedigree
