// The mixed-model equations of a multi-trait animal model with repeated
// records, and their solution:
//   y = X b + Z a + W pe + e,
// b one fixed class per record (e.g. the generation), a the breeding values
// with Var(a) = A (x) G0, pe the permanent environmental effects of the
// animals with records, Var(pe) = I (x) P0, and e the residuals, independent
// between records, Var(e of one record) = R0 restricted to its recorded
// traits. The variances are taken as true (Henderson 1984).
#pragma once

#include <Eigen/Dense>
#include <Eigen/SparseCore>
#include <cstddef>
#include <vector>

#include "evaluation/conjugate_gradients.h"
#include "evaluation/relationship_inverse.h"

namespace pedsim::evaluation {

// The observations: record r belongs to animal[r] and fixed class
// fixed_class[r], and holds values(r, k) for trait k, NaN where trait k is
// not recorded. An animal may have any number of records.
struct Records {
    std::vector<std::size_t> animal;
    std::vector<std::size_t> fixed_class;
    Eigen::MatrixXd values;  // records x traits

    std::size_t size() const { return animal.size(); }
};

// Covariance matrices between the traits, traits x traits, positive
// definite; `permanent` empty for a model without permanent effects.
struct Variances {
    Eigen::MatrixXd additive;   // G0
    Eigen::MatrixXd residual;   // R0
    Eigen::MatrixXd permanent;  // P0

    std::size_t traits() const { return static_cast<std::size_t>(additive.rows()); }
    bool has_permanent() const { return permanent.size() > 0; }
};

// The solutions, one row per level and one column per trait. `permanent` has
// a row for every animal; animals without records have 0 there. A fixed
// class with no record of a trait has 0 for that trait.
struct Solutions {
    Eigen::MatrixXd fixed;      // fixed classes x traits
    Eigen::MatrixXd animal;     // animals x traits: the EBVs
    Eigen::MatrixXd permanent;  // animals x traits; empty without permanent effects
};

// The equations C s = rhs. Unknowns come in blocks of one level's traits:
// fixed class c's first, then animal i's, then the i-th recorded animal's
// permanent effect (animals with records in increasing order), so that the
// unknown of trait k of block j is j * traits + k.
struct MixedModelEquations {
    Eigen::SparseMatrix<double> coefficients;  // full symmetric
    Eigen::VectorXd right_hand_side;
    std::size_t traits = 0;
    std::size_t fixed_classes = 0;
    std::size_t animals = 0;
    std::vector<std::size_t> permanent_level;  // per animal: its block among the
                                               // permanent effects, or `no_level`
    static constexpr std::size_t no_level = static_cast<std::size_t>(-1);
};

// Builds the equations. Assumes: every records.animal below pedigree.size(),
// every fixed_class below fixed_classes, values with variances.traits()
// columns, the covariance matrices positive definite.
MixedModelEquations mixed_model_equations(const PedigreeLinks& pedigree, const Records& records,
                                          const Variances& variances, std::size_t fixed_classes);

// Solves the equations by preconditioned conjugate gradients (the inverses of
// each level's traits x traits diagonal block as preconditioner), starting
// from `solutions`: rows it has are the start (e.g. the last evaluation of a
// growing pedigree), rows it lacks start at 0. Writes the solutions back,
// sized to the equations.
SolverReport solve_mixed_model(const MixedModelEquations& equations, Solutions& solutions,
                               const SolverSettings& settings);

}  // namespace pedsim::evaluation
