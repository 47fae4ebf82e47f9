// The evaluation of every animal of a breeding program by BLUP, round after
// round, each solve starting from the last round's solutions.
#pragma once

#include <cstddef>

#include "breed/population.h"
#include "evaluation/mixed_model.h"

namespace pedsim::breed {

struct EvaluationTimes {
    double seconds = 0;          // building and solving the equations
    double build_seconds = 0;    // of which building them
    std::size_t iterations = 0;  // of conjugate gradients
};

class Evaluation {
public:
    // The model's true variances: G, R and, with permanent effects, P.
    explicit Evaluation(const traits::TraitModel& model);

    // Solves y = generation + a + pe + e (every trait together) for every
    // animal of `population` from all records so far, A^-1 with the
    // population's F; returns the EBVs, animals x traits, row-major. The
    // solve starts from the last call's solutions.
    std::vector<double> evaluate(const Population& population, EvaluationTimes& times);

private:
    const traits::TraitModel& model_;
    evaluation::Variances variances_;
    evaluation::Solutions solutions_;
};

}  // namespace pedsim::breed
