// Preconditioned conjugate gradients on a sparse symmetric positive
// (semi-)definite system, with a block-diagonal (Jacobi) preconditioner.
#pragma once

#include <Eigen/Dense>
#include <Eigen/SparseCore>
#include <cstddef>

namespace pedsim::evaluation {

struct SolverSettings {
    // Convergence: the residual r = b - C x satisfies ||r|| <= tolerance * ||b||
    // (Euclidean norms), checked before every iteration.
    double tolerance = 1e-10;
    std::size_t max_iterations = 10000;
};

struct SolverReport {
    std::size_t iterations = 0;      // products with C after the first residual
    double relative_residual = 0.0;  // ||b - C x|| / ||b|| of the final x (0 when b = 0)
    bool converged = false;          // relative_residual <= tolerance
};

// Solves C x = b from the start `x` (a warm start: the closer, the fewer
// iterations), in place. The preconditioner is the inverse of C's diagonal
// blocks of `block_size` unknowns (block j: unknowns j*block_size ...
// (j+1)*block_size - 1); C's size is a multiple of block_size. An unknown
// whose diagonal is 0 (an equation with no information, its row and column
// all 0) is set to 0 and left there. C symmetric, positive definite on the
// other unknowns. Never throws; deterministic for given inputs.
SolverReport solve_conjugate_gradients(const Eigen::SparseMatrix<double>& C,
                                       const Eigen::VectorXd& b, Eigen::VectorXd& x,
                                       std::size_t block_size, const SolverSettings& settings);

}  // namespace pedsim::evaluation
