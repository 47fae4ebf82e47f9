// A symmetric matrix of coancestries between families, held whole, row after
// row, with the two whole-matrix operations the generations need.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace pedsim::relationship {

class FamilyMatrix {
public:
    std::size_t size() const { return size_; }
    double* row(std::size_t r) { return values_.data() + r * size_; }
    const double* row(std::size_t r) const { return values_.data() + r * size_; }

    // Replaces the matrix by the size x size one whose upper triangle is
    // `upper`, row after row from the diagonal on (row r at
    // upper_offset(r, size)). Storage too small for it is freed first, so
    // that only `upper` and one matrix are held at once: 13 K^2 bytes for
    // the largest size K so far, an eighth of a matrix being kept to spare.
    void assign_upper(std::span<const double> upper, std::size_t size);

    // Where row r of the upper triangle of a size x size matrix starts in
    // the layout assign_upper reads.
    static std::size_t upper_offset(std::size_t r, std::size_t size)
    {
        return r * size - r * (r - 1) / 2;  // sum of the lengths of rows 0 .. r - 1
    }

    // y'My from the upper triangle: sum_f y_f (y_f M_ff + 2 sum_{g>f} M_fg y_g),
    // the rows on several threads and their terms added in row order, so that
    // the result does not depend on the threads. Assumes y.size() == size().
    double quadratic_form(std::span<const double> y) const;

private:
    // Copies the upper triangle onto the lower one, on several threads.
    void mirror_upper();

    std::size_t size_ = 0;
    std::vector<double> values_;
};

// Rows of a size x size matrix per chunk handed to one thread: a chunk holds
// about 2^16 entries, so that a small matrix is not worth starting a thread for.
std::size_t rows_per_chunk(std::size_t size);

}  // namespace pedsim::relationship
