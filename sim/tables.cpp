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

std::size_t rows(std::int64_t count)
{
    return static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
}

}  // namespace

Tables allocate_tables(const Parameters& p)
{
    const std::int64_t offspring = std::int64_t{p.nsire} * p.ndps * p.noff;
    const std::int64_t protocol_offspring = std::int64_t{p.nsirep} * p.ndpsp * p.noffp;
    const std::int64_t animals =
        std::int64_t{p.ngen} * p.nsire * (p.ndps + 1) +
        std::int64_t{p.nsirep} * (std::int64_t{p.ndpsp} * (p.noffp + 1) + 1);
    Tables t;
    t.ped = AnimalTable::zeroed(rows(animals));
    t.ped_sorted = AnimalTable::uninitialised(rows(animals));
    t.keys = filled_completely(Buffer<std::int32_t>::uninitialised(3 * rows(animals)));
    t.iperm = filled_completely(Buffer<std::int32_t>::uninitialised(3 * rows(animals)));
    t.male = AnimalTable::zeroed(rows(offspring));
    t.female = AnimalTable::zeroed(rows(offspring));
    t.prog = AnimalTable::uninitialised(rows(protocol_offspring));
    t.perm = Buffer<float>::uninitialised(rows(std::max(offspring, protocol_offspring)));
    t.gen = Buffer<std::int32_t>::uninitialised(rows((std::int64_t{p.ngen} + 1) * 10000));
    t.corr = Buffer<std::int32_t>::zeroed(rows(largest_identifier) + 1);
    return t;
}

void enter_founders(const Parameters& p, Tables& tables)
{
    const std::int32_t founders = p.nsire * (p.ndps + 1);
    for (std::int32_t r = 0; r < founders; ++r) {
        tables.ped.set(static_cast<std::size_t>(r), 10001 + r, 0, 0);
        tables.gen[static_cast<std::size_t>(r)] = 1;
    }
    tables.nanim = founders;
}

}  // namespace pedsim
