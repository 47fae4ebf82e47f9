// A symmetric matrix of coancestries between families, held whole, row after
// row, with the two whole-matrix operations the generations need.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace pedsim::stats {

class FamilyMatrix {
public:
    // Makes the matrix size x size; the entries are left to be written.
    void resize(std::size_t size);
    std::size_t size() const { return size_; }
    double* row(std::size_t r) { return values_.data() + r * size_; }
    const double* row(std::size_t r) const { return values_.data() + r * size_; }

    // Copies the upper triangle onto the lower one, on several threads.
    void mirror_upper();

    // y'My from the upper triangle: sum_f y_f (y_f M_ff + 2 sum_{g>f} M_fg y_g),
    // the rows on several threads and their terms added in row order, so that
    // the result does not depend on the threads. Assumes y.size() == size().
    double quadratic_form(std::span<const double> y) const;

private:
    std::size_t size_ = 0;
    std::vector<double> values_;
};

// Rows of a size x size matrix per chunk handed to one thread: a chunk holds
// about 2^16 entries, so that a small matrix is not worth starting a thread for.
std::size_t rows_per_chunk(std::size_t size);

}  // namespace pedsim::stats
