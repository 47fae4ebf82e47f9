#include "sim/tables.h"

#include <algorithm>

namespace pedsim::sim {

namespace {

// The pedigree, its sorted copy, the sort vectors and the protocol's
// offspring are filled completely by every run, so they are made resident at
// once, on huge pages where the system has them; the offspring pools, at most
// 120 KB, are too small for that to matter.
template <class T>
Buffer<T> filled_completely(Buffer<T> buffer)
{
    buffer.prepare_to_fill();
    return buffer;
}

}  // namespace

AnimalTable AnimalTable::zeroed(std::size_t rows)
{
    return AnimalTable(Buffer<std::int32_t>::zeroed(3 * rows), rows);
}

AnimalTable AnimalTable::filled_completely(std::size_t rows)
{
    return AnimalTable(sim::filled_completely(Buffer<std::int32_t>::zeroed(3 * rows)), rows);
}

namespace {

// A count as a table size; a negative count sizes an empty table.
std::size_t rows(design::ExactCount count)
{
    return static_cast<std::size_t>(count < 0 ? 0 : count);
}

}  // namespace

Tables allocate_tables(const design::Parameters& p)
{
    const design::PedigreeCounts c = design::pedigree_counts(p);
    Tables t;
    t.pedigree = AnimalTable::filled_completely(rows(c.animals));
    t.sorted_pedigree = AnimalTable::filled_completely(rows(c.animals));
    t.sort_keys = filled_completely(Buffer<std::int32_t>::zeroed(3 * rows(c.animals)));
    t.sorted_positions = filled_completely(Buffer<std::int32_t>::zeroed(3 * rows(c.animals)));
    t.sons = AnimalTable::zeroed(rows(c.historical_offspring));
    t.daughters = AnimalTable::zeroed(rows(c.historical_offspring));
    t.protocol_offspring = AnimalTable::filled_completely(rows(c.protocol_offspring));
    t.shuffle = Buffer<float>::zeroed(rows(std::max(c.historical_offspring, c.protocol_offspring)));
    t.generation_of_row = Buffer<std::int32_t>::zeroed(
        rows((design::ExactCount{p.ngen} + 1) * design::identifiers_per_generation));
    t.new_number = Buffer<std::int32_t>::zeroed(rows(design::largest_identifier) + 1);
    return t;
}

void enter_founders(const design::Parameters& p, Tables& tables)
{
    const std::int32_t founders = p.nsire * (p.ndps + 1);
    for (std::int32_t r = 0; r < founders; ++r) {
        tables.pedigree.set(static_cast<std::size_t>(r), design::identifiers_per_generation + 1 + r,
                            0, 0);
        tables.generation_of_row[static_cast<std::size_t>(r)] = 1;
    }
    tables.animal_count = founders;
}

}  // namespace pedsim::sim
