#include "tables.h"

#include <algorithm>

namespace pedsim {

namespace {

// The pedigree's tables (ped, ped_sorted, keys, iperm, prog) are filled
// completely by every run, so large ones are given huge pages. The offspring
// pools (at most 10,000 rows, 120 KB) are too small to hold one, so the
// advice leaves them as they are.
template <class T>
Buffer<T> filled_completely(Buffer<T> buffer)
{
    buffer.prefer_huge_pages();
    return buffer;
}

}  // namespace

AnimalTable AnimalTable::zeroed(std::size_t rows)
{
    return AnimalTable(filled_completely(Buffer<std::int32_t>::zeroed(3 * rows)), rows);
}

AnimalTable AnimalTable::uninitialised(std::size_t rows)
{
    return AnimalTable(filled_completely(Buffer<std::int32_t>::uninitialised(3 * rows)), rows);
}

namespace {

// A count as a table size; a negative count sizes an empty table.
std::size_t rows(ExactCount count) { return static_cast<std::size_t>(count < 0 ? 0 : count); }

}  // namespace

Tables allocate_tables(const Parameters& p)
{
    const PedigreeCounts c = pedigree_counts(p);
    Tables t;
    t.ped = AnimalTable::zeroed(rows(c.animals));
    t.ped_sorted = AnimalTable::uninitialised(rows(c.animals));
    t.keys = filled_completely(Buffer<std::int32_t>::uninitialised(3 * rows(c.animals)));
    t.iperm = filled_completely(Buffer<std::int32_t>::uninitialised(3 * rows(c.animals)));
    t.male = AnimalTable::zeroed(rows(c.historical_offspring));
    t.female = AnimalTable::zeroed(rows(c.historical_offspring));
    t.prog = AnimalTable::uninitialised(rows(c.protocol_offspring));
    t.perm =
        Buffer<float>::uninitialised(rows(std::max(c.historical_offspring, c.protocol_offspring)));
    t.gen = Buffer<std::int32_t>::uninitialised(
        rows((ExactCount{p.ngen} + 1) * identifiers_per_generation));
    t.corr = Buffer<std::int32_t>::zeroed(rows(largest_identifier) + 1);
    return t;
}

void enter_founders(const Parameters& p, Tables& tables)
{
    const std::int32_t founders = p.nsire * (p.ndps + 1);
    for (std::int32_t r = 0; r < founders; ++r) {
        tables.ped.set(static_cast<std::size_t>(r), identifiers_per_generation + 1 + r, 0, 0);
        tables.gen[static_cast<std::size_t>(r)] = 1;
    }
    tables.nanim = founders;
}

}  // namespace pedsim
