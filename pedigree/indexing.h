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

// Passes over the animals that read or write a value at each one's parents
// wait on memory at every dam: a herd book's dams are scattered over years of
// births, where its sires are few and stay in the caches. Such a pass at
// animal i asks for the value at the dam of the animal this many places
// ahead in its direction (the dam column itself is read in order).
inline constexpr std::size_t dam_lookahead = 16;

// Starts loading values[dam of `animal`], when `animal` is one of the
// pedigree's (a place before the first, wrapped around, is not) and its dam
// is known.
template <class Values>
void prefetch_at_dam(const Pedigree& pedigree, const Values& values, std::size_t animal)
{
    if (animal < pedigree.size() && is_known(pedigree.dam[animal]))
        __builtin_prefetch(&values[position(pedigree.dam[animal])]);
}

}  // namespace pedsim::pedigree
