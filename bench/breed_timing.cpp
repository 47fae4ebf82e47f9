// The time of each round of a breeding program, and of its evaluation by
// BLUP: pedsim-breed's library run on a program file, outside ctest.
//   breed_timing PROGRAM [THREADS]
// Writes one line per round: generation animals round_seconds
// evaluation_seconds iterations; then the total.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "breed/breeding_run.h"
#include "breed/program.h"
#include "shell/input_files.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: breed_timing PROGRAM [THREADS]\n";
        return 2;
    }
    const std::size_t threads = argc > 2 ? std::stoul(argv[2]) : 2;
    const auto start = std::chrono::steady_clock::now();
    const pedsim::breed::BreedingProgram program =
        pedsim::breed::read_program(pedsim::shell::read_input(argv[1]), argv[1]);
    const pedsim::breed::BreedingRun run = pedsim::breed::run_breeding(
        program, program.model.seed.value_or(1), threads, [](std::string_view, double) {});
    std::printf(
        "generation\tanimals\tround_seconds\tevaluation_seconds\tbuild_seconds\titerations\n");
    std::size_t animals = program.base_males + program.base_females;
    for (std::size_t g = 0; g < run.rounds.size(); ++g) {
        const auto& round = run.rounds[g];
        std::printf("%zu\t%zu\t%.3f\t%.3f\t%.3f\t%zu\n", g, animals, round.seconds,
                    round.evaluation.seconds, round.evaluation.build_seconds,
                    round.evaluation.iterations);
        animals += program.dams * program.offspring;
    }
    std::printf("total\t%zu\t%.3f\n", run.population.size(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
