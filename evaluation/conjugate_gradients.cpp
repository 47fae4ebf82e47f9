#include "evaluation/conjugate_gradients.h"

#include <vector>

namespace pedsim::evaluation {

namespace {

// The inverses of C's diagonal blocks, one after another in one array: a
// million blocks of one trait are a million numbers, not a million small
// matrices on the heap (a third of the time of each iteration at a million
// animals).
class BlockJacobi {
public:
    BlockJacobi(const Eigen::SparseMatrix<double>& C, Eigen::Index block_size)
        : block_size_(block_size), inverses_(static_cast<std::size_t>(C.rows() * block_size), 0.0)
    {
        const auto b = static_cast<std::size_t>(block_size);
        for (Eigen::Index column = 0; column < C.outerSize(); ++column) {
            const Eigen::Index block = column / block_size;
            for (Eigen::SparseMatrix<double>::InnerIterator it(C, column); it; ++it) {
                if (it.row() / block_size == block)
                    inverses_[static_cast<std::size_t>(block) * b * b +
                              static_cast<std::size_t>(it.row() % block_size) * b +
                              static_cast<std::size_t>(column % block_size)] = it.value();
            }
        }
        Eigen::MatrixXd matrix(block_size, block_size);
        for (std::size_t j = 0; j < inverses_.size() / (b * b); ++j) {
            double* entries = &inverses_[j * b * b];
            for (std::size_t k = 0; k < b * b; ++k)
                matrix(static_cast<Eigen::Index>(k / b), static_cast<Eigen::Index>(k % b)) =
                    entries[k];
            const Eigen::MatrixXd inverse = invert(matrix);
            for (std::size_t k = 0; k < b * b; ++k)
                entries[k] =
                    inverse(static_cast<Eigen::Index>(k / b), static_cast<Eigen::Index>(k % b));
        }
    }

    // z = M^-1 r, block by block.
    void apply(const Eigen::VectorXd& r, Eigen::VectorXd& z) const
    {
        const auto b = static_cast<std::size_t>(block_size_);
        const std::size_t blocks = inverses_.size() / (b * b);
        for (std::size_t j = 0; j < blocks; ++j) {
            const double* inverse = &inverses_[j * b * b];
            for (std::size_t k = 0; k < b; ++k) {
                double sum = 0;
                for (std::size_t l = 0; l < b; ++l)
                    sum += inverse[k * b + l] * r(static_cast<Eigen::Index>(j * b + l));
                z(static_cast<Eigen::Index>(j * b + k)) = sum;
            }
        }
    }

private:
    // An unknown with a zero diagonal has a zero row and column; giving it a
    // unit diagonal here keeps the block invertible and its residual, always
    // 0, maps to a zero step.
    static Eigen::MatrixXd invert(Eigen::MatrixXd block)
    {
        for (Eigen::Index k = 0; k < block.rows(); ++k) {
            if (block(k, k) == 0.0) block(k, k) = 1.0;
        }
        return block.ldlt().solve(Eigen::MatrixXd::Identity(block.rows(), block.cols()));
    }

    Eigen::Index block_size_;
    std::vector<double> inverses_;  // block j's b x b inverse, row-major, at j b^2
};

void zero_empty_equations(const Eigen::SparseMatrix<double>& C, Eigen::VectorXd& x)
{
    const Eigen::VectorXd diagonal = C.diagonal();
    for (Eigen::Index i = 0; i < x.size(); ++i) {
        if (diagonal(i) == 0.0) x(i) = 0.0;
    }
}

}  // namespace

SolverReport solve_conjugate_gradients(const Eigen::SparseMatrix<double>& C,
                                       const Eigen::VectorXd& b, Eigen::VectorXd& x,
                                       std::size_t block_size, const SolverSettings& settings)
{
    SolverReport report;
    zero_empty_equations(C, x);
    const double b_norm = b.norm();
    if (b_norm == 0.0) {
        x.setZero();
        report.converged = true;
        return report;
    }
    const BlockJacobi preconditioner(C, static_cast<Eigen::Index>(block_size));
    // C is symmetric: its lower triangle, read once per product, halves the
    // memory each iteration streams through.
    const Eigen::SparseMatrix<double> lower = C.triangularView<Eigen::Lower>();
    const auto symmetric = lower.selfadjointView<Eigen::Lower>();
    Eigen::VectorXd r = b - symmetric * x;
    Eigen::VectorXd z(x.size());
    preconditioner.apply(r, z);
    Eigen::VectorXd p = z;
    Eigen::VectorXd q(x.size());
    double rz = r.dot(z);
    report.relative_residual = r.norm() / b_norm;
    while (report.relative_residual > settings.tolerance &&
           report.iterations < settings.max_iterations) {
        q.noalias() = symmetric * p;
        const double step = rz / p.dot(q);
        x += step * p;
        r -= step * q;
        preconditioner.apply(r, z);
        const double rz_next = r.dot(z);
        p = z + (rz_next / rz) * p;
        rz = rz_next;
        ++report.iterations;
        report.relative_residual = r.norm() / b_norm;
    }
    // The recurrence drifts from the true residual by rounding; the report
    // gives the final solution's own.
    report.relative_residual = (b - C * x).norm() / b_norm;
    report.converged = report.relative_residual <= settings.tolerance;
    return report;
}

}  // namespace pedsim::evaluation
