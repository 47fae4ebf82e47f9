#include "pedigree/name_table.h"

#include <bit>
#include <cstring>
#include <limits>
#include <stdexcept>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace pedsim::pedigree {

namespace {

constexpr std::size_t smallest_table = 64;
constexpr std::size_t most_entries = std::numeric_limits<NameEntry>::max();
constexpr std::uint32_t hashed_bit = std::uint32_t{1} << 31;

// Slots for `count` names, at most three quarters full.
std::size_t slots_for(std::size_t count)
{
    return std::bit_ceil(std::max(smallest_table, count + count / 3 + 1));
}

// A short name's bytes are no hash: mix them (splitmix64's finalizer) so
// that the top bits, the slot's home, depend on every byte.
std::uint64_t mixed(std::uint64_t key)
{
    key = (key ^ (key >> 30)) * 0xbf58476d1ce4e5b9U;
    key = (key ^ (key >> 27)) * 0x94d049bb133111ebU;
    return key ^ (key >> 31);
}

}  // namespace

std::size_t NameTable::home(std::uint64_t key) const
{
    return static_cast<std::size_t>(mixed(key) >> shift_);
}

void NameTable::reserve(std::size_t count)
{
    names_.reserve(count);
    if (slots_for(count) > slots_.size()) grow(slots_for(count));
}

// Rebuilds the slots at a new size from their keys alone.
void NameTable::grow(std::size_t slots)
{
    Slots old = std::move(slots_);
    slots_.assign(slots, Slot{});
    shift_ = 64 - static_cast<unsigned>(std::countr_zero(slots));
    const std::size_t mask = slots - 1;
    for (const Slot& slot : old) {
        if (slot.tagged_entry == 0) continue;
        std::size_t k = home(std::uint64_t{slot.key_high} << 32 | slot.key_low);
        while (slots_[k].tagged_entry != 0) k = (k + 1) & mask;
        slots_[k] = slot;
    }
}

KeyedName NameTable::keyed(std::string_view name)
{
    KeyedName keyed{name, 0};
    if (keyed.hashed())
        keyed.key = XXH3_64bits(name.data(), name.size());
    else if (!name.empty())  // an empty view may have no data at all
        std::memcpy(&keyed.key, name.data(), name.size());
    return keyed;
}

// The slot holding the name, or the empty one where it would go (linear probing).
std::size_t NameTable::slot_of(const KeyedName& name) const
{
    const std::size_t mask = slots_.size() - 1;
    const auto key_low = static_cast<std::uint32_t>(name.key);
    const auto key_high = static_cast<std::uint32_t>(name.key >> 32);
    const std::uint32_t kind = name.hashed() ? hashed_bit : 0;
    for (std::size_t k = home(name.key);; k = (k + 1) & mask) {
        const Slot& slot = slots_[k];
        if (slot.tagged_entry == 0) return k;
        if (slot.key_low != key_low || slot.key_high != key_high ||
            (slot.tagged_entry & hashed_bit) != kind)
            continue;
        if (kind == 0 || names_[(slot.tagged_entry & ~hashed_bit) - 1] == name.name) return k;
    }
}

NameEntry NameTable::enter(const KeyedName& name, bool& added)
{
    if (4 * (names_.size() + 1) > 3 * slots_.size())
        grow(std::max(smallest_table, 2 * slots_.size()));
    Slot& slot = slots_[slot_of(name)];
    added = slot.tagged_entry == 0;
    if (!added) return static_cast<NameEntry>((slot.tagged_entry & ~hashed_bit) - 1);
    if (names_.size() == most_entries) throw std::length_error("more than 2^31 - 1 names");
    names_.push_back(name.name);
    slot = Slot{static_cast<std::uint32_t>(name.key), static_cast<std::uint32_t>(name.key >> 32),
                static_cast<std::uint32_t>(names_.size()) | (name.hashed() ? hashed_bit : 0)};
    return static_cast<NameEntry>(names_.size() - 1);
}

NameEntry NameTable::find(std::string_view name) const
{
    if (slots_.empty()) return -1;
    const Slot& slot = slots_[slot_of(keyed(name))];
    return static_cast<NameEntry>(slot.tagged_entry & ~hashed_bit) - 1;
}

}  // namespace pedsim::pedigree
