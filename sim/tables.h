// The tables of a run: the pedigree, the offspring pools and the work
// vectors of the shuffles and sorts, sized from the parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "design/parameters.h"
#include "design/pedigree_counts.h"
#include "sim/buffer.h"

namespace pedsim::sim {

// Rows of (id, sire, dam), stored column after column. Rows are indexed
// from 0; a count of filled rows (animal_count, the pools' sizes) is
// therefore also the index of the next free row.
class AnimalTable {
public:
    AnimalTable() = default;
    // A table of `rows` zero rows; filled_completely makes it resident at
    // once, for a table the run fills to the last row.
    static AnimalTable zeroed(std::size_t rows);
    static AnimalTable filled_completely(std::size_t rows);

    std::int32_t& id(std::size_t row) { return cells_[row]; }
    std::int32_t& sire(std::size_t row) { return cells_[rows_ + row]; }
    std::int32_t& dam(std::size_t row) { return cells_[2 * rows_ + row]; }
    std::int32_t id(std::size_t row) const { return cells_[row]; }
    std::int32_t sire(std::size_t row) const { return cells_[rows_ + row]; }
    std::int32_t dam(std::size_t row) const { return cells_[2 * rows_ + row]; }

    void set(std::size_t row, std::int32_t id, std::int32_t sire, std::int32_t dam)
    {
        this->id(row) = id;
        this->sire(row) = sire;
        this->dam(row) = dam;
    }
    void copy_row(std::size_t row, const AnimalTable& from, std::size_t from_row)
    {
        set(row, from.id(from_row), from.sire(from_row), from.dam(from_row));
    }

    // All 3 * rows cells, column after column: memory to lend as work space
    // while the table holds nothing yet.
    std::span<std::int32_t> cells() { return cells_.span(); }
    // The identifier column, row by row.
    std::span<std::int32_t> ids() { return cells_.span().first(rows_); }

private:
    AnimalTable(Buffer<std::int32_t> cells, std::size_t rows)
        : cells_(std::move(cells)), rows_(rows)
    {}

    Buffer<std::int32_t> cells_;
    std::size_t rows_ = 0;
};

struct Tables {
    AnimalTable pedigree;            // every animal entered so far, animal_count rows filled
    AnimalTable sorted_pedigree;     // the pedigree's rows in ascending order of identifier
    Buffer<std::int32_t> sort_keys;  // keys of the numbering sort: id, sire, dam of each animal
    Buffer<std::int32_t> sorted_positions;   // 1-based positions of the keys in sorted order
    AnimalTable sons;                        // sons born in the current pass
    AnimalTable daughters;                   // daughters born in the current pass
    AnimalTable protocol_offspring;          // offspring of the protocol's mating
    Buffer<float> shuffle;                   // permutation of the last shuffle, values 1.0 .. n.0
    Buffer<std::int32_t> generation_of_row;  // generation of each row of the pedigree
    // new_number[v]: the number identifier v gets in the pedigree file,
    // indexed by the identifier itself; slot 0 stands for an unknown parent
    // and stays 0.
    Buffer<std::int32_t> new_number;
    std::int32_t animal_count = 0;  // rows of the pedigree filled so far
};

// Allocates every table, zero-filled, at its final size for parameters that
// passed the checks. Throws a Failure (out_of_memory) when a table cannot be
// allocated.
Tables allocate_tables(const design::Parameters& p);

// Enters the founders as rows 0 .. nsire*(ndps+1)-1 of the pedigree with identifiers
// 10001, 10002, ..., sires before dams, unknown parents and generation 1.
void enter_founders(const design::Parameters& p, Tables& tables);

}  // namespace pedsim::sim
