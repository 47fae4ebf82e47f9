// The identifiers of a pedigree file, each entered once, in the order first
// met: a name is a view into the pedigree's own text, so the table copies no
// text. Names are found through an open-addressing hash table of 12-byte
// slots, at most three quarters full, each holding an entry's number and a
// 64-bit key: a name of at most 8 bytes is its own key (its bytes, padded
// with NULs, which no identifier holds), so that the herd books' numbers are
// found without reading the text; a longer name's key is its XXH3 hash, and
// the text is compared only when the keys match. The table grows from the
// keys alone, without reading a name again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pedsim::pedigree {

// An identifier's number in a NameTable, counted from 0 in the order first met.
using NameEntry = std::int32_t;

// A name and its key: names keyed ahead, and their slots asked of memory
// (prefetch) a few names before they are entered, load at the same time.
struct KeyedName {
    std::string_view name;
    std::uint64_t key;
    // A name longer than 8 bytes: the key is its hash.
    bool hashed() const { return name.size() > sizeof key; }
};

class NameTable {
public:
    // Makes room for `count` names in all without growing.
    void reserve(std::size_t count);

    // `name` with its key, which depends on the name alone (any thread may
    // key names while another enters them). The name holds no NUL byte.
    static KeyedName keyed(std::string_view name);
    // Starts loading the slot where the name would stand.
    void prefetch(const KeyedName& name) const
    {
        if (!slots_.empty()) __builtin_prefetch(&slots_[home(name.key)]);
    }
    // The entry of the name, added at the end when the table does not hold
    // it yet (then `added` is set). The text behind the name must outlive
    // the table. Throws std::length_error past 2^31 - 1 names.
    NameEntry enter(const KeyedName& name, bool& added);
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

    // Frees the slots: names can no longer be entered or found, only read
    // by entry.
    void forget_slots() { Slots().swap(slots_); }

private:
    struct Slot {
        std::uint32_t key_low = 0, key_high = 0;
        std::uint32_t tagged_entry = 0;  // 0: empty; else entry + 1, the top bit set when hashed
    };
    // Read at random: the program's operator new gives so large a block huge
    // pages, so that a read costs a cache miss and no page-table walk.
    using Slots = std::vector<Slot>;
    std::size_t home(std::uint64_t key) const;
    std::size_t slot_of(const KeyedName& name) const;
    void grow(std::size_t slots);

    std::vector<std::string_view> names_;
    Slots slots_;          // a power of 2 of them
    unsigned shift_ = 64;  // 64 - log2(slots_.size())
};

}  // namespace pedsim::pedigree
