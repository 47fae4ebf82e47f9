// The identifiers of a pedigree file, each entered once, in the order first
// met: a name is a view into the pedigree's own text, so the table copies no
// text. Names are found through an open-addressing hash table of 8-byte
// slots (an entry's number and 32 bits of its name's hash), at most three
// quarters full: a name is compared with the text only when those 32 bits
// match, and the table grows without reading a name again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pedsim::stats {

// An identifier's number in a NameTable, counted from 0 in the order first met.
using NameEntry = std::int32_t;

class NameTable {
public:
    // Makes room for `count` names in all without growing.
    void reserve(std::size_t count);

    // The entry of `name`, added at the end when the table does not hold it
    // yet (then `added` is set). The text behind `name` must outlive the
    // table. Throws std::length_error past 2^31 - 1 names.
    NameEntry enter(std::string_view name, bool& added);
    // The entry of `name`, or -1 when the table does not hold it.
    NameEntry find(std::string_view name) const;

    // The view an entry was entered with, or the one set by place_name().
    std::string_view name(NameEntry entry) const { return names_[static_cast<std::size_t>(entry)]; }
    // Points an entry at another occurrence of its own name in the text
    // (such as the one on its own row), for the line that messages give.
    void place_name(NameEntry entry, std::string_view same_name)
    {
        names_[static_cast<std::size_t>(entry)] = same_name;
    }
    std::size_t size() const { return names_.size(); }

    // Frees the slots: names can no longer be found, only read by entry.
    void forget_slots() { std::vector<Slot>().swap(slots_); }

private:
    struct Slot {
        std::uint32_t entry_plus_one = 0;  // 0: empty
        std::uint32_t tag = 0;             // the name's hash, its upper 32 bits
    };
    std::size_t home(std::uint32_t tag) const { return tag >> shift_; }
    std::size_t slot_of(std::string_view name, std::uint32_t tag) const;
    void grow(std::size_t slots);

    std::vector<std::string_view> names_;
    std::vector<Slot> slots_;  // a power of 2 of them
    unsigned shift_ = 32;      // 32 - log2(slots_.size())
};

}  // namespace pedsim::stats
