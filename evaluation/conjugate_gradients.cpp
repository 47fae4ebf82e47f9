#include "evaluation/conjugate_gradients.h"

#include <vector>

namespace pedsim::evaluation {

namespace {

// The inverses of C's diagonal blocks, one after another.
class BlockJacobi {
public:
    BlockJacobi(const Eigen::SparseMatrix<double>& C, Eigen::Index block_size)
        : block_size_(block_size), inverses_(static_cast<std::size_t>(C.rows() / block_size))
    {
        std::vector<Eigen::MatrixXd> blocks(inverses_.size(),
                                            Eigen::MatrixXd::Zero(block_size, block_size));
        for (Eigen::Index column = 0; column < C.outerSize(); ++column) {
            const Eigen::Index block = column / block_size;
            for (Eigen::SparseMatrix<double>::InnerIterator it(C, column); it; ++it) {
                if (it.row() / block_size == block)
                    blocks[static_cast<std::size_t>(block)](it.row() % block_size,
                                                            column % block_size) = it.value();
            }
        }
        for (std::size_t j = 0; j < blocks.size(); ++j) inverses_[j] = invert(blocks[j]);
    }

    Eigen::VectorXd apply(const Eigen::VectorXd& r) const
    {
        Eigen::VectorXd z(r.size());
        for (std::size_t j = 0; j < inverses_.size(); ++j) {
            const Eigen::Index first = static_cast<Eigen::Index>(j) * block_size_;
            z.segment(first, block_size_).noalias() = inverses_[j] * r.segment(first, block_size_);
        }
        return z;
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
    std::vector<Eigen::MatrixXd> inverses_;
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
    Eigen::VectorXd r = b - C * x;
    Eigen::VectorXd z = preconditioner.apply(r);
    Eigen::VectorXd p = z;
    Eigen::VectorXd q(x.size());
    double rz = r.dot(z);
    report.relative_residual = r.norm() / b_norm;
    while (report.relative_residual > settings.tolerance &&
           report.iterations < settings.max_iterations) {
        q.noalias() = C * p;
        const double step = rz / p.dot(q);
        x += step * p;
        r -= step * q;
        z = preconditioner.apply(r);
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
