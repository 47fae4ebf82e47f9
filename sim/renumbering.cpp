#include "sim/renumbering.h"

#include <span>

#include "sort/ipsort.h"

namespace pedsim::sim {

namespace {

constexpr std::int32_t ascending = 1;

std::size_t index_of(std::int32_t position) { return static_cast<std::size_t>(position) - 1; }

// Gives the distinct non-zero keys, in ascending order, the numbers 1, 2, ...
// `sorted_keys` holds the keys in ascending order.
void number_identifiers(std::span<const std::int32_t> sorted_keys, std::int32_t* new_number)
{
    // Every key is stored with the count of distinct keys so far, without a
    // branch on whether it is new. The zeros of unknown parents come first
    // and keep the number 0.
    std::int32_t count = 0;
    std::int32_t previous = 0;
    for (const std::int32_t v : sorted_keys) {
        count += v != previous;
        new_number[v] = count;
        previous = v;
    }
}

}  // namespace

void renumber(Tables& t)
{
    const std::size_t animals = static_cast<std::size_t>(t.animal_count);
    std::int32_t* keys = t.sort_keys.data();
    for (std::size_t r = 0; r < animals; ++r) {
        keys[3 * r] = t.pedigree.id(r);
        keys[3 * r + 1] = t.pedigree.sire(r);
        keys[3 * r + 2] = t.pedigree.dam(r);
    }
    // The sorted pedigree is filled only after both sorts: until then its
    // 3 * animals cells are the sorts' work space.
    const std::span<std::int32_t> work = t.sorted_pedigree.cells();
    const auto all_keys = static_cast<std::int32_t>(3 * animals);
    sort::ipsort(t.sort_keys.span(), all_keys, t.sorted_positions.span(), ascending, work);
    number_identifiers(work.first(3 * animals), t.new_number.data());

    // The identifiers, row by row, are the pedigree's first column: sorted
    // where they stand (an ascending sort leaves its keys as they are).
    sort::ipsort(t.pedigree.ids(), t.animal_count, t.sorted_positions.span(), ascending, work);
    for (std::size_t r = 0; r < animals; ++r)
        t.sorted_pedigree.copy_row(r, t.pedigree, index_of(t.sorted_positions[r]));
}

}  // namespace pedsim::sim
