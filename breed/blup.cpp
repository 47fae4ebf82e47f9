#include "breed/blup.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace pedsim::breed {

namespace {

Eigen::MatrixXd matrix_of(const traits::Covariance& covariance)
{
    const auto n = static_cast<Eigen::Index>(covariance.size);
    Eigen::MatrixXd matrix(n, n);
    for (Eigen::Index r = 0; r < n; ++r)
        for (Eigen::Index c = 0; c < n; ++c)
            matrix(r, c) = covariance.at(static_cast<std::size_t>(r), static_cast<std::size_t>(c));
    return matrix;
}

// Every record of every animal so far, its generation as fixed class.
evaluation::Records records_of(const Population& population, const traits::TraitModel& model)
{
    const traits::Simulated& simulated = population.simulated;
    const std::size_t n = model.trait_count();
    std::vector<std::size_t> animals, records;
    for (std::size_t i = 0; i < population.size(); ++i)
        for (std::size_t r = 0; simulated.recorded[i] && r < simulated.records; ++r)
            if (simulated.has_row(i, r)) {
                animals.push_back(i);
                records.push_back(r);
            }
    evaluation::Records out;
    out.animal = animals;
    out.values.resize(static_cast<Eigen::Index>(animals.size()), static_cast<Eigen::Index>(n));
    for (std::size_t k = 0; k < animals.size(); ++k) {
        const std::size_t i = animals[k];
        out.fixed_class.push_back(static_cast<std::size_t>(population.pedigree.generation[i]));
        for (std::size_t t = 0; t < n; ++t)
            out.values(static_cast<Eigen::Index>(k), static_cast<Eigen::Index>(t)) =
                simulated.has_record(i, records[k], t)
                    ? traits::phenotype(simulated, model, population.inbreeding, i, records[k], t)
                    : std::numeric_limits<double>::quiet_NaN();
    }
    return out;
}

evaluation::PedigreeLinks links_of(const Population& population)
{
    return {population.pedigree.sire, population.pedigree.dam, population.inbreeding};
}

}  // namespace

Evaluation::Evaluation(const traits::TraitModel& model) : model_(model)
{
    variances_.additive = matrix_of(model.additive);
    variances_.residual = matrix_of(model.residual);
    if (!model.permanent.empty()) variances_.permanent = matrix_of(model.permanent);
}

std::vector<double> Evaluation::evaluate(const Population& population, EvaluationTimes& times)
{
    const auto start = std::chrono::steady_clock::now();
    const std::size_t classes =
        static_cast<std::size_t>(population.pedigree.generation.back()) + 1;
    const evaluation::MixedModelEquations equations = evaluation::mixed_model_equations(
        links_of(population), records_of(population, model_), variances_, classes);
    // Selection needs the ranking, not the last digits: 1e-8 of the right
    // hand side's norm leaves the EBVs correct to far below their errors.
    evaluation::SolverSettings settings;
    settings.tolerance = 1e-8;
    const evaluation::SolverReport report =
        evaluation::solve_mixed_model(equations, solutions_, settings);
    times.iterations = report.iterations;
    const std::size_t n = model_.trait_count();
    std::vector<double> ebv(population.size() * n);
    for (std::size_t i = 0; i < population.size(); ++i)
        for (std::size_t t = 0; t < n; ++t)
            ebv[i * n + t] = solutions_.animal(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(t));
    times.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ebv;
}

}  // namespace pedsim::breed
