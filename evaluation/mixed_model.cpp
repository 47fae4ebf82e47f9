#include "evaluation/mixed_model.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <span>

namespace pedsim::evaluation {

namespace {

using Triplets = std::vector<Eigen::Triplet<double>>;

Eigen::MatrixXd inverse_of(const Eigen::MatrixXd& covariance)
{
    return covariance.ldlt().solve(Eigen::MatrixXd::Identity(covariance.rows(), covariance.cols()));
}

// R0^-1 of the traits a record holds, placed in a traits x traits matrix
// with zeros at the missing traits; computed once per pattern of missing
// traits.
class ResidualInverses {
public:
    explicit ResidualInverses(const Eigen::MatrixXd& residual) : residual_(residual) {}

    const Eigen::MatrixXd& of(const std::vector<bool>& recorded)
    {
        auto found = inverses_.find(recorded);
        if (found == inverses_.end())
            found = inverses_.emplace(recorded, restricted_inverse(recorded)).first;
        return found->second;
    }

private:
    Eigen::MatrixXd restricted_inverse(const std::vector<bool>& recorded) const
    {
        std::vector<Eigen::Index> kept;
        for (std::size_t k = 0; k < recorded.size(); ++k) {
            if (recorded[k]) kept.push_back(static_cast<Eigen::Index>(k));
        }
        const auto traits = residual_.rows();
        Eigen::MatrixXd inverse = Eigen::MatrixXd::Zero(traits, traits);
        if (kept.empty()) return inverse;
        inverse(kept, kept) = inverse_of(residual_(kept, kept));
        return inverse;
    }

    const Eigen::MatrixXd& residual_;
    std::map<std::vector<bool>, Eigen::MatrixXd> inverses_;
};

std::vector<std::size_t> permanent_levels(const Records& records, std::size_t animals)
{
    std::vector<std::size_t> level(animals, MixedModelEquations::no_level);
    for (const std::size_t animal : records.animal) level[animal] = 0;
    std::size_t next = 0;
    for (auto& l : level) {
        if (l == 0) l = next++;
    }
    return level;
}

std::size_t recorded_animals(const std::vector<std::size_t>& permanent_level)
{
    std::size_t count = 0;
    for (const std::size_t l : permanent_level) count += l != MixedModelEquations::no_level;
    return count;
}

// Adds the block `scale` x `values` at the blocks (row_block, column_block)
// of the equations, whose blocks are `traits` unknowns wide; the scale
// spares a temporary matrix for each of the millions of entries of A^-1.
void add_block(Triplets& entries, std::size_t row_block, std::size_t column_block,
               const Eigen::MatrixXd& values, double scale = 1.0)
{
    const auto traits = static_cast<std::size_t>(values.rows());
    for (std::size_t k = 0; k < traits; ++k) {
        for (std::size_t l = 0; l < traits; ++l) {
            const double v =
                scale * values(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(l));
            if (v != 0.0)
                entries.emplace_back(static_cast<Eigen::Index>(row_block * traits + k),
                                     static_cast<Eigen::Index>(column_block * traits + l), v);
        }
    }
}

// Each record's share: [X Z W]' R^-1 [X Z W] and [X Z W]' R^-1 y, over the
// blocks of its fixed class, its animal and its permanent effect.
void add_records(const Records& records, const Variances& variances, MixedModelEquations& equations,
                 Triplets& entries)
{
    const auto traits = static_cast<Eigen::Index>(equations.traits);
    ResidualInverses residual_inverses(variances.residual);
    std::vector<bool> recorded(equations.traits);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const auto row = static_cast<Eigen::Index>(r);
        Eigen::VectorXd y = records.values.row(row).transpose();
        for (Eigen::Index k = 0; k < traits; ++k) {
            recorded[static_cast<std::size_t>(k)] = !std::isnan(y(k));
            if (std::isnan(y(k))) y(k) = 0.0;
        }
        const Eigen::MatrixXd& weight = residual_inverses.of(recorded);
        const Eigen::VectorXd weighted_y = weight * y;
        std::size_t blocks[3] = {records.fixed_class[r],
                                 equations.fixed_classes + records.animal[r], 0};
        std::size_t block_count = 2;
        if (variances.has_permanent())
            blocks[block_count++] = equations.fixed_classes + equations.animals +
                                    equations.permanent_level[records.animal[r]];
        for (const std::size_t u : std::span(blocks, block_count)) {
            equations.right_hand_side.segment(static_cast<Eigen::Index>(u) * traits, traits) +=
                weighted_y;
            for (const std::size_t v : std::span(blocks, block_count))
                add_block(entries, u, v, weight);
        }
    }
}

// A^-1 (x) G0^-1 over the animals' blocks.
void add_relationships(const PedigreeLinks& pedigree, const Variances& variances,
                       const MixedModelEquations& equations, Triplets& entries)
{
    const Eigen::SparseMatrix<double> a_inverse = relationship_inverse(pedigree);
    const Eigen::MatrixXd g_inverse = inverse_of(variances.additive);
    for (Eigen::Index column = 0; column < a_inverse.outerSize(); ++column) {
        for (Eigen::SparseMatrix<double>::InnerIterator it(a_inverse, column); it; ++it) {
            add_block(entries, equations.fixed_classes + static_cast<std::size_t>(it.row()),
                      equations.fixed_classes + static_cast<std::size_t>(column), g_inverse,
                      it.value());
        }
    }
}

// I (x) P0^-1 over the permanent effects' blocks.
void add_permanent_variances(const Variances& variances, std::size_t levels,
                             const MixedModelEquations& equations, Triplets& entries)
{
    const Eigen::MatrixXd p_inverse = inverse_of(variances.permanent);
    const std::size_t first = equations.fixed_classes + equations.animals;
    for (std::size_t level = 0; level < levels; ++level)
        add_block(entries, first + level, first + level, p_inverse);
}

}  // namespace

MixedModelEquations mixed_model_equations(const PedigreeLinks& pedigree, const Records& records,
                                          const Variances& variances, std::size_t fixed_classes)
{
    MixedModelEquations equations;
    equations.traits = variances.traits();
    equations.fixed_classes = fixed_classes;
    equations.animals = pedigree.size();
    std::size_t levels = 0;
    if (variances.has_permanent()) {
        equations.permanent_level = permanent_levels(records, pedigree.size());
        levels = recorded_animals(equations.permanent_level);
    }
    const auto unknowns =
        static_cast<Eigen::Index>((fixed_classes + equations.animals + levels) * equations.traits);
    equations.right_hand_side = Eigen::VectorXd::Zero(unknowns);
    Triplets entries;
    add_records(records, variances, equations, entries);
    add_relationships(pedigree, variances, equations, entries);
    if (variances.has_permanent()) add_permanent_variances(variances, levels, equations, entries);
    equations.coefficients.resize(unknowns, unknowns);
    equations.coefficients.setFromTriplets(entries.begin(), entries.end());
    return equations;
}

namespace {

// The unknowns of block `first` + i as row i of a levels x traits matrix.
struct BlockRange {
    std::size_t first;
    std::size_t rows;
};

Eigen::Index unknown(std::size_t block, std::size_t traits)
{
    return static_cast<Eigen::Index>(block * traits);
}

// Copies the rows `from` has, up to range.rows, into x; the rest stay 0.
void copy_rows_in(const Eigen::MatrixXd& from, BlockRange range, std::size_t traits,
                  Eigen::VectorXd& x)
{
    if (from.cols() != static_cast<Eigen::Index>(traits)) return;
    const auto kept = std::min(static_cast<Eigen::Index>(range.rows), from.rows());
    for (Eigen::Index i = 0; i < kept; ++i)
        x.segment(unknown(range.first + static_cast<std::size_t>(i), traits), from.cols()) =
            from.row(i).transpose();
}

Eigen::MatrixXd rows_out(const Eigen::VectorXd& x, BlockRange range, std::size_t traits)
{
    Eigen::MatrixXd out(static_cast<Eigen::Index>(range.rows), static_cast<Eigen::Index>(traits));
    for (Eigen::Index i = 0; i < out.rows(); ++i)
        out.row(i) =
            x.segment(unknown(range.first + static_cast<std::size_t>(i), traits), out.cols())
                .transpose();
    return out;
}

// The permanent effects are stored by level, reported by animal.
std::size_t first_permanent(const MixedModelEquations& equations)
{
    return equations.fixed_classes + equations.animals;
}

void copy_permanent_in(const MixedModelEquations& equations, const Eigen::MatrixXd& permanent,
                       Eigen::VectorXd& x)
{
    const std::size_t t = equations.traits;
    if (permanent.cols() != static_cast<Eigen::Index>(t)) return;
    const auto animals =
        std::min(equations.permanent_level.size(), static_cast<std::size_t>(permanent.rows()));
    for (std::size_t i = 0; i < animals; ++i) {
        const std::size_t level = equations.permanent_level[i];
        if (level != MixedModelEquations::no_level)
            x.segment(unknown(first_permanent(equations) + level, t), permanent.cols()) =
                permanent.row(static_cast<Eigen::Index>(i)).transpose();
    }
}

Eigen::MatrixXd permanent_out(const MixedModelEquations& equations, const Eigen::VectorXd& x)
{
    const auto t = static_cast<Eigen::Index>(equations.traits);
    Eigen::MatrixXd permanent =
        Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(equations.permanent_level.size()), t);
    for (std::size_t i = 0; i < equations.permanent_level.size(); ++i) {
        const std::size_t level = equations.permanent_level[i];
        if (level != MixedModelEquations::no_level)
            permanent.row(static_cast<Eigen::Index>(i)) =
                x.segment(unknown(first_permanent(equations) + level, equations.traits), t)
                    .transpose();
    }
    return permanent;
}

}  // namespace

SolverReport solve_mixed_model(const MixedModelEquations& equations, Solutions& solutions,
                               const SolverSettings& settings)
{
    const std::size_t t = equations.traits;
    const BlockRange fixed{0, equations.fixed_classes};
    const BlockRange animals{equations.fixed_classes, equations.animals};
    Eigen::VectorXd x = Eigen::VectorXd::Zero(equations.right_hand_side.size());
    copy_rows_in(solutions.fixed, fixed, t, x);
    copy_rows_in(solutions.animal, animals, t, x);
    copy_permanent_in(equations, solutions.permanent, x);

    const SolverReport report = solve_conjugate_gradients(
        equations.coefficients, equations.right_hand_side, x, t, settings);

    solutions.fixed = rows_out(x, fixed, t);
    solutions.animal = rows_out(x, animals, t);
    solutions.permanent = permanent_out(equations, x);
    return report;
}

}  // namespace pedsim::evaluation
