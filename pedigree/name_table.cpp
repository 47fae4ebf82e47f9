#include "pedigree/name_table.h"

#include <bit>
#include <limits>
#include <stdexcept>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace pedsim::stats {

namespace {

constexpr std::size_t smallest_table = 64;
constexpr std::size_t most_entries = std::numeric_limits<NameEntry>::max();

std::uint32_t tag_of(std::string_view name)
{
    return static_cast<std::uint32_t>(XXH3_64bits(name.data(), name.size()) >> 32);
}

// Slots for `count` names, at most three quarters full.
std::size_t slots_for(std::size_t count)
{
    return std::bit_ceil(std::max(smallest_table, count + count / 3 + 1));
}

}  // namespace

void NameTable::reserve(std::size_t count)
{
    names_.reserve(count);
    if (slots_for(count) > slots_.size()) grow(slots_for(count));
}

// Rebuilds the slots at a new size from the tags alone: a slot's home is
// the top bits of its tag, so no name is read again.
void NameTable::grow(std::size_t slots)
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slots, Slot{});
    shift_ = 32 - static_cast<unsigned>(std::countr_zero(slots));
    const std::size_t mask = slots - 1;
    for (const Slot& slot : old) {
        if (slot.entry_plus_one == 0) continue;
        std::size_t k = home(slot.tag);
        while (slots_[k].entry_plus_one != 0) k = (k + 1) & mask;
        slots_[k] = slot;
    }
}

// The slot holding `name`, or the empty one where it would go (linear probing).
std::size_t NameTable::slot_of(std::string_view name, std::uint32_t tag) const
{
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = home(tag);; k = (k + 1) & mask) {
        const Slot& slot = slots_[k];
        if (slot.entry_plus_one == 0) return k;
        if (slot.tag == tag && names_[slot.entry_plus_one - 1] == name) return k;
    }
}

NameEntry NameTable::enter(std::string_view name, bool& added)
{
    if (4 * (names_.size() + 1) > 3 * slots_.size())
        grow(std::max(smallest_table, 2 * slots_.size()));
    const std::uint32_t tag = tag_of(name);
    Slot& slot = slots_[slot_of(name, tag)];
    added = slot.entry_plus_one == 0;
    if (!added) return static_cast<NameEntry>(slot.entry_plus_one - 1);
    if (names_.size() == most_entries) throw std::length_error("more than 2^31 - 1 names");
    names_.push_back(name);
    slot = Slot{static_cast<std::uint32_t>(names_.size()), tag};
    return static_cast<NameEntry>(names_.size() - 1);
}

NameEntry NameTable::find(std::string_view name) const
{
    if (slots_.empty()) return -1;
    const Slot& slot = slots_[slot_of(name, tag_of(name))];
    return static_cast<NameEntry>(slot.entry_plus_one) - 1;
}

}  // namespace pedsim::stats
