// A whole breeding program, run: the base, then round after round the
// candidates evaluated, the parents chosen and mated, and their offspring
// drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "breed/blup.h"
#include "breed/population.h"
#include "breed/prediction.h"
#include "breed/program.h"
#include "shell/progress.h"

namespace pedsim::breed {

// What round t of selection did; the last generation's round evaluates its
// candidates and chooses none.
struct Round {
    std::size_t candidates_male = 0;
    std::size_t candidates_female = 0;
    std::size_t sires = 0;
    std::size_t dams = 0;
    double intensity_sires = 0;  // NaN when nothing was chosen or the index is flat
    double intensity_dams = 0;
    RoundOfSelection selection;  // proportions and parents' F, for the prediction
    EvaluationTimes evaluation;  // zero without an evaluation
    double seconds = 0;          // the whole round, the offspring's draws included
};

struct BreedingRun {
    Population population;
    std::vector<Round> rounds;            // one per generation, 0 .. generations
    std::vector<double> mean_coancestry;  // of each generation's animals
    std::vector<std::string> notes;       // for standard error: matings that break the design
};

// Runs the program with `seed` on `threads` threads (the output does not
// depend on their number), reporting each round to `progress`.
BreedingRun run_breeding(const BreedingProgram& program, std::uint64_t seed, std::size_t threads,
                         const shell::ProgressReport& progress);

}  // namespace pedsim::breed
