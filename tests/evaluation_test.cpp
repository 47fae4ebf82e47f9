// Tests of the genetic evaluation against the slow truth: A^-1 against the
// inverse of the relationship matrix computed by the tabular method, and the
// conjugate-gradient solutions of the mixed-model equations against a dense
// direct solve of the same model written out with its design matrices.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "evaluation/mixed_model.h"
#include "evaluation/relationship_inverse.h"

namespace {

using pedsim::evaluation::AnimalIndex;
using pedsim::evaluation::PedigreeLinks;
using pedsim::evaluation::Records;
using pedsim::evaluation::Solutions;
using pedsim::evaluation::SolverSettings;
using pedsim::evaluation::Variances;
constexpr AnimalIndex u = pedsim::evaluation::unknown_parent;
constexpr double missing = std::numeric_limits<double>::quiet_NaN();

struct Parents {
    AnimalIndex sire;
    AnimalIndex dam;
};

// A by the tabular method (Emik and Terrill 1949): row by row, each animal
// related to the earlier ones through the mean of its parents.
Eigen::MatrixXd tabular_relationships(const std::vector<Parents>& parents)
{
    const auto n = static_cast<Eigen::Index>(parents.size());
    Eigen::MatrixXd a = Eigen::MatrixXd::Zero(n, n);
    for (Eigen::Index i = 0; i < n; ++i) {
        const auto [s, d] = parents[static_cast<std::size_t>(i)];
        for (Eigen::Index j = 0; j < i; ++j) {
            const double via_sire = s == u ? 0.0 : a(j, s);
            const double via_dam = d == u ? 0.0 : a(j, d);
            a(i, j) = a(j, i) = 0.5 * (via_sire + via_dam);
        }
        a(i, i) = 1.0 + (s == u || d == u ? 0.0 : 0.5 * a(s, d));
    }
    return a;
}

PedigreeLinks links_of(const std::vector<Parents>& parents)
{
    const Eigen::MatrixXd a = tabular_relationships(parents);
    PedigreeLinks links;
    for (std::size_t i = 0; i < parents.size(); ++i) {
        links.sire.push_back(parents[i].sire);
        links.dam.push_back(parents[i].dam);
        links.inbreeding.push_back(a(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(i)) -
                                   1.0);
    }
    return links;
}

const std::vector<Parents> full_sib_line{{u, u}, {u, u}, {0, 1}, {0, 1}, {2, 3},
                                         {2, 3}, {4, 5}, {4, 5}, {6, 7}};
const std::vector<Parents> backcrosses{{u, u}, {u, u}, {0, 1}, {0, 2}, {3, u},
                                       {u, 3}, {4, 3}, {6, 5}, {2, 7}, {8, 6}};
const std::vector<Parents> selfing{{u, u}, {0, 0}, {1, 1}, {2, u}, {2, 3}, {u, u}, {4, 5}};
const std::vector<Parents> unrelated{{u, u}, {u, u}, {u, u}};

struct InverseCase {
    std::string name;
    std::vector<Parents> parents;
};

void PrintTo(const InverseCase& c, std::ostream* out) { *out << c.name; }

class RelationshipInverse : public testing::TestWithParam<InverseCase> {};

TEST_P(RelationshipInverse, EqualsTheInverseOfTheTabularMatrix)
{
    const auto& parents = GetParam().parents;
    const Eigen::MatrixXd expected = tabular_relationships(parents).inverse();
    const Eigen::MatrixXd built = pedsim::evaluation::relationship_inverse(links_of(parents));
    ASSERT_EQ(built.rows(), expected.rows());
    EXPECT_LT((built - expected).cwiseAbs().maxCoeff(), 1e-10);
}

INSTANTIATE_TEST_SUITE_P(Pedigrees, RelationshipInverse,
                         testing::Values(InverseCase{"full_sib_line", full_sib_line},
                                         InverseCase{"backcrosses_one_parent", backcrosses},
                                         InverseCase{"selfing", selfing},
                                         InverseCase{"unrelated", unrelated}),
                         [](const auto& test) { return test.param.name; });

// ---- the mixed-model equations against a dense solve

struct RecordSpec {
    std::size_t animal;
    std::size_t fixed_class;
};

struct ModelCase {
    std::string name;
    std::vector<Parents> parents;
    std::size_t fixed_classes;
    std::vector<RecordSpec> records;
    Eigen::MatrixXd additive, residual, permanent;
    // Trait k of record r is missing when (r + k) % missing_every == 0
    // (0: nothing missing), or when the record's class is blind_class and
    // k is the last trait (a class that never records that trait).
    std::size_t missing_every = 0;
    std::size_t blind_class = static_cast<std::size_t>(-1);
};

Eigen::MatrixXd matrix(Eigen::Index size, std::vector<double> values)
{
    return Eigen::Map<Eigen::MatrixXd>(values.data(), size, size);
}

// Values that depend on the trait, the class and the animal, so that every
// effect of the model has something to estimate.
Records records_of(const ModelCase& c)
{
    const auto traits = c.additive.rows();
    Records records;
    records.values.resize(static_cast<Eigen::Index>(c.records.size()), traits);
    for (std::size_t r = 0; r < c.records.size(); ++r) {
        records.animal.push_back(c.records[r].animal);
        records.fixed_class.push_back(c.records[r].fixed_class);
        for (Eigen::Index k = 0; k < traits; ++k) {
            const auto tk = static_cast<std::size_t>(k);
            const bool lost = (c.missing_every > 0 && (r + tk) % c.missing_every == 0) ||
                              (c.records[r].fixed_class == c.blind_class && k == traits - 1);
            records.values(static_cast<Eigen::Index>(r), k) =
                lost ? missing
                     : 10.0 * static_cast<double>(k + 1) +
                           static_cast<double>(c.records[r].fixed_class) +
                           2.0 * std::sin(1.3 * static_cast<double>(r) +
                                          0.7 * static_cast<double>(c.records[r].animal + tk));
        }
    }
    return records;
}

Eigen::MatrixXd kronecker(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b)
{
    Eigen::MatrixXd out(a.rows() * b.rows(), a.cols() * b.cols());
    for (Eigen::Index i = 0; i < a.rows(); ++i)
        for (Eigen::Index j = 0; j < a.cols(); ++j)
            out.block(i * b.rows(), j * b.cols(), b.rows(), b.cols()) = a(i, j) * b;
    return out;
}

// The model written out: one row of [X Z W] per recorded value, R block
// diagonal over records, every animal with a permanent effect (those without
// records get 0), unknowns without any record dropped before the solve and
// reported as 0. Solved by LDLT.
Solutions dense_solution(const ModelCase& c, const Records& records)
{
    const Eigen::Index t = c.additive.rows();
    const auto n = static_cast<Eigen::Index>(c.parents.size());
    const auto f = static_cast<Eigen::Index>(c.fixed_classes);
    const bool pe = c.permanent.size() > 0;
    const Eigen::Index unknowns = (f + n + (pe ? n : 0)) * t;
    std::vector<Eigen::VectorXd> design_rows;
    std::vector<double> y;
    Eigen::MatrixXd r_inverse = Eigen::MatrixXd::Zero(0, 0);
    for (Eigen::Index r = 0; r < records.values.rows(); ++r) {
        std::vector<Eigen::Index> kept;
        for (Eigen::Index k = 0; k < t; ++k) {
            if (std::isnan(records.values(r, k))) continue;
            kept.push_back(k);
            Eigen::VectorXd row = Eigen::VectorXd::Zero(unknowns);
            const auto animal =
                static_cast<Eigen::Index>(records.animal[static_cast<std::size_t>(r)]);
            row(static_cast<Eigen::Index>(records.fixed_class[static_cast<std::size_t>(r)]) * t +
                k) = 1;
            row((f + animal) * t + k) = 1;
            if (pe) row((f + n + animal) * t + k) = 1;
            design_rows.push_back(row);
            y.push_back(records.values(r, k));
        }
        const Eigen::Index before = r_inverse.rows();
        const auto size = static_cast<Eigen::Index>(kept.size());
        r_inverse.conservativeResize(before + size, before + size);
        r_inverse.rightCols(size).setZero();
        r_inverse.bottomRows(size).setZero();
        r_inverse.bottomRightCorner(size, size) = c.residual(kept, kept).inverse();
    }
    Eigen::MatrixXd design(static_cast<Eigen::Index>(design_rows.size()), unknowns);
    for (std::size_t i = 0; i < design_rows.size(); ++i)
        design.row(static_cast<Eigen::Index>(i)) = design_rows[i].transpose();
    const Eigen::VectorXd observed =
        Eigen::Map<Eigen::VectorXd>(y.data(), static_cast<Eigen::Index>(y.size()));

    Eigen::MatrixXd lhs = design.transpose() * r_inverse * design;
    Eigen::VectorXd rhs = design.transpose() * r_inverse * observed;
    lhs.block(f * t, f * t, n * t, n * t) +=
        kronecker(tabular_relationships(c.parents).inverse(), c.additive.inverse());
    if (pe)
        lhs.block((f + n) * t, (f + n) * t, n * t, n * t) +=
            kronecker(Eigen::MatrixXd::Identity(n, n), c.permanent.inverse());

    std::vector<Eigen::Index> informative;
    for (Eigen::Index i = 0; i < unknowns; ++i) {
        if (lhs.col(i).cwiseAbs().maxCoeff() > 0.0) informative.push_back(i);
    }
    Eigen::VectorXd all = Eigen::VectorXd::Zero(unknowns);
    const Eigen::VectorXd informative_rhs = rhs(informative);
    const Eigen::MatrixXd informative_lhs = lhs(informative, informative);
    const Eigen::VectorXd solved = informative_lhs.ldlt().solve(informative_rhs);
    all(informative) = solved;

    Solutions s;
    const auto levels = [&](Eigen::Index first, Eigen::Index rows) {
        return Eigen::MatrixXd(all.segment(first * t, rows * t).reshaped(t, rows).transpose());
    };
    s.fixed = levels(0, f);
    s.animal = levels(f, n);
    if (pe) s.permanent = levels(f + n, n);
    return s;
}

double largest_difference(const Solutions& a, const Solutions& b)
{
    EXPECT_EQ(a.fixed.rows(), b.fixed.rows());
    EXPECT_EQ(a.animal.rows(), b.animal.rows());
    EXPECT_EQ(a.permanent.size(), b.permanent.size());
    double largest = (a.fixed - b.fixed).cwiseAbs().maxCoeff();
    largest = std::max(largest, (a.animal - b.animal).cwiseAbs().maxCoeff());
    if (a.permanent.size() > 0 && a.permanent.size() == b.permanent.size())
        largest = std::max(largest, (a.permanent - b.permanent).cwiseAbs().maxCoeff());
    return largest;
}

const SolverSettings tight{1e-13, 10000};

// Every animal of the backcross pedigree, the later ones twice or three
// times, across three classes.
std::vector<RecordSpec> repeated_records()
{
    std::vector<RecordSpec> records;
    for (std::size_t animal = 2; animal < backcrosses.size(); ++animal) {
        for (std::size_t copy = 0; copy <= animal % 3; ++copy)
            records.push_back({animal, (animal + copy) % 3});
    }
    return records;
}

const std::vector<RecordSpec> one_record_each{{2, 0}, {3, 0}, {4, 1}, {5, 1},
                                              {6, 0}, {7, 1}, {8, 1}};

std::vector<ModelCase> model_cases()
{
    const auto g1 = matrix(1, {0.3});
    const auto r1 = matrix(1, {0.7});
    const auto p1 = matrix(1, {0.2});
    const auto g2 = matrix(2, {0.4, 0.15, 0.15, 0.3});
    const auto r2 = matrix(2, {0.6, 0.2, 0.2, 0.9});
    const auto p2 = matrix(2, {0.2, -0.05, -0.05, 0.25});
    const auto g3 = matrix(3, {1.0, 0.3, -0.2, 0.3, 0.8, 0.1, -0.2, 0.1, 0.5});
    const auto r3 = matrix(3, {2.0, 0.5, 0.3, 0.5, 1.5, -0.4, 0.3, -0.4, 1.2});
    return {
        {"one_trait", full_sib_line, 2, one_record_each, g1, r1, {}},
        {"one_trait_repeated", backcrosses, 3, repeated_records(), g1, r1, p1},
        {"two_traits_missing", full_sib_line, 2, one_record_each, g2, r2, {}, 3},
        {"two_traits_repeated_missing", backcrosses, 3, repeated_records(), g2, r2, p2, 4},
        {"three_traits_repeated_missing",
         selfing,
         3,
         {{1, 0}, {1, 1}, {2, 0}, {3, 2}, {3, 2}, {4, 1}, {5, 0}, {6, 2}, {6, 1}, {6, 0}},
         g3,
         r3,
         matrix(3, {0.3, 0.0, 0.0, 0.0, 0.2, 0.05, 0.0, 0.05, 0.4}),
         5},
        {"class_without_a_trait", backcrosses, 3, repeated_records(), g2, r2, p2, 0, 1},
    };
}

void PrintTo(const ModelCase& c, std::ostream* out) { *out << c.name; }

class MixedModel : public testing::TestWithParam<ModelCase> {};

TEST_P(MixedModel, ConjugateGradientsMatchTheDenseSolve)
{
    const ModelCase& c = GetParam();
    const Records records = records_of(c);
    const auto equations = pedsim::evaluation::mixed_model_equations(
        links_of(c.parents), records, {c.additive, c.residual, c.permanent}, c.fixed_classes);
    Solutions solved;
    const auto report = pedsim::evaluation::solve_mixed_model(equations, solved, tight);
    EXPECT_TRUE(report.converged) << report.relative_residual;
    EXPECT_GT(report.iterations, 0u);
    EXPECT_LT(largest_difference(solved, dense_solution(c, records)), 1e-8);
}

// Started from its own solutions the solver has nothing left to do; started
// from a smaller pedigree's solutions (the animals and classes the last
// evaluation knew) it reaches the same solutions as from zero.
TEST_P(MixedModel, WarmStartsReachTheSameSolutions)
{
    const ModelCase& c = GetParam();
    const Records records = records_of(c);
    const Variances variances{c.additive, c.residual, c.permanent};
    const auto equations = pedsim::evaluation::mixed_model_equations(links_of(c.parents), records,
                                                                     variances, c.fixed_classes);
    Solutions cold;
    pedsim::evaluation::solve_mixed_model(equations, cold, tight);
    Solutions again = cold;
    EXPECT_EQ(pedsim::evaluation::solve_mixed_model(equations, again, tight).iterations, 0u);

    ModelCase earlier = c;
    earlier.parents.resize(c.parents.size() - 2);
    earlier.records.clear();
    for (const auto& r : c.records) {
        if (r.animal < earlier.parents.size()) earlier.records.push_back(r);
    }
    const Records earlier_records = records_of(earlier);
    Solutions warm;
    pedsim::evaluation::solve_mixed_model(
        pedsim::evaluation::mixed_model_equations(links_of(earlier.parents), earlier_records,
                                                  variances, c.fixed_classes),
        warm, tight);
    const auto report = pedsim::evaluation::solve_mixed_model(equations, warm, tight);
    EXPECT_TRUE(report.converged);
    EXPECT_LT(largest_difference(warm, cold), 1e-8);
}

// A limit below what the tolerance needs stops the solver there, unconverged.
TEST_P(MixedModel, StopsAtTheIterationLimit)
{
    const ModelCase& c = GetParam();
    const auto equations = pedsim::evaluation::mixed_model_equations(
        links_of(c.parents), records_of(c), {c.additive, c.residual, c.permanent}, c.fixed_classes);
    Solutions solutions;
    const auto report = pedsim::evaluation::solve_mixed_model(equations, solutions, {1e-13, 2});
    EXPECT_EQ(report.iterations, 2u);
    EXPECT_FALSE(report.converged);
    EXPECT_GT(report.relative_residual, 1e-13);
}

INSTANTIATE_TEST_SUITE_P(Models, MixedModel, testing::ValuesIn(model_cases()),
                         [](const auto& test) { return test.param.name; });

}  // namespace
