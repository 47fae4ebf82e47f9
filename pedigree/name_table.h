// A hash table from identifiers to animals that stores no identifier: each
// slot holds an animal's index, and the caller's function gives its name, a
// view into the pedigree's own text. Four bytes a slot, at most half full,
// where a node-based map of views would take some fifty bytes an animal.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::stats {

class NameTable {
public:
    // The table reads names through `name_of`, which must outlive it and
    // give the same name for an index as long as the table lives.
    explicit NameTable(std::function<std::string_view(AnimalIndex)> name_of)
        : name_of_(std::move(name_of))
    {}

    // Makes room for `count` names in all without growing.
    void reserve(std::size_t count);
    // The animal named `name`; unknown when none is.
    AnimalIndex find(std::string_view name) const;
    // Enters `animal` under its name, which find() does not yet know.
    void insert(AnimalIndex animal);

private:
    std::size_t slot_of(std::string_view name) const;
    void grow();

    std::function<std::string_view(AnimalIndex)> name_of_;
    std::vector<AnimalIndex> slots_;  // unknown: empty; size a power of 2
    std::size_t count_ = 0;
};

}  // namespace pedsim::stats
