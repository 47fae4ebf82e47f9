#include "pedigree/name_table.h"

#include <bit>

namespace pedsim::stats {

void NameTable::reserve(std::size_t count)
{
    if (2 * count <= slots_.size()) return;
    std::vector<AnimalIndex> old = std::move(slots_);
    slots_.assign(std::bit_ceil(std::max<std::size_t>(2 * count, 16)), unknown);
    for (const AnimalIndex animal : old)
        if (animal != unknown) slots_[slot_of(name_of_(animal))] = animal;
}

// The slot holding `name`, or the empty one where it would go (linear probing).
std::size_t NameTable::slot_of(std::string_view name) const
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>{}(name)&mask;; slot = (slot + 1) & mask)
        if (slots_[slot] == unknown || name_of_(slots_[slot]) == name) return slot;
}

AnimalIndex NameTable::find(std::string_view name) const
{
    return slots_.empty() ? unknown : slots_[slot_of(name)];
}

void NameTable::insert(AnimalIndex animal)
{
    reserve(count_ + 1);
    slots_[slot_of(name_of_(animal))] = animal;
    ++count_;
}

}  // namespace pedsim::stats
