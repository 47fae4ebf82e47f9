#include "renumbering.h"

#include "ipsort.h"

namespace pedsim {

namespace {

constexpr std::int32_t ascending = 1;

std::size_t index_of(std::int32_t position) { return static_cast<std::size_t>(position) - 1; }

// Gives the distinct non-zero keys, in ascending order, the numbers 1, 2, ...
// `sorted_positions` lists the 1-based positions of `keys` in ascending order.
void number_identifiers(const std::int32_t* keys, const std::int32_t* sorted_positions,
                        std::size_t count, std::int32_t* corr)
{
    std::int32_t next = 1;
    std::int32_t previous = 0;  // 0, an unknown parent, never gets a number
    for (std::size_t p = 0; p < count; ++p) {
        const std::int32_t v = keys[index_of(sorted_positions[p])];
        if (v != 0 && v != previous) corr[v] = next++;
        previous = v;
    }
}

}  // namespace

void renumber(Tables& t)
{
    const std::size_t animals = static_cast<std::size_t>(t.nanim);
    std::int32_t* keys = t.keys.data();
    for (std::size_t r = 0; r < animals; ++r) {
        keys[3 * r] = t.ped.id(r);
        keys[3 * r + 1] = t.ped.sire(r);
        keys[3 * r + 2] = t.ped.dam(r);
    }
    std::int32_t ier = 0;
    const auto all_keys = static_cast<std::int32_t>(3 * animals);
    ipsort(t.keys.span(), all_keys, t.iperm.span(), ascending, ier);
    number_identifiers(keys, t.iperm.data(), 3 * animals, t.corr.data());

    for (std::size_t r = 0; r < animals; ++r) keys[r] = t.ped.id(r);
    ipsort(t.keys.span(), t.nanim, t.iperm.span(), ascending, ier);
    for (std::size_t r = 0; r < animals; ++r) t.ped_sorted.copy_row(r, t.ped, index_of(t.iperm[r]));
}

}  // namespace pedsim
