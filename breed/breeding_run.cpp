#include "breed/breeding_run.h"

#include <chrono>
#include <cmath>
#include <optional>

#include "breed/selection.h"
#include "common/exit_status.h"
#include "common/failure.h"
#include "relationship/generation_groups.h"
#include "relationship/mean_coancestry.h"

namespace pedsim::breed {

namespace {

double mean_inbreeding(const Population& population,
                       const std::vector<pedigree::AnimalIndex>& animals)
{
    double sum = 0;
    for (const pedigree::AnimalIndex a : animals)
        sum += population.inbreeding[static_cast<std::size_t>(a)];
    return animals.empty() ? 0.0 : sum / static_cast<double>(animals.size());
}

// Keeps, for the animals of generation `round`, the criterion's estimate and
// the index of the round that ranked them first.
void keep_ranking(Population& population, const BreedingProgram& program,
                  const std::vector<double>& values, const std::vector<double>& index,
                  std::int64_t round)
{
    const std::size_t n = program.model.trait_count();
    const bool estimates = program.evaluates();
    for (std::size_t i = 0; i < population.size(); ++i) {
        if (population.pedigree.generation[i] != round) continue;
        population.index[i] = index[i];
        for (std::size_t t = 0; estimates && t < n; ++t)
            population.estimate[i * n + t] = values[i * n + t];
    }
}

void mark(Population& population, const std::vector<pedigree::AnimalIndex>& animals, Role role)
{
    for (const pedigree::AnimalIndex a : animals)
        population.role[static_cast<std::size_t>(a)] = role;
}

// Chooses and mates the parents of round `round`; adds their offspring.
void select_and_mate(BreedingRun& run, const BreedingProgram& program, const Candidates& candidates,
                     const std::vector<double>& index, std::uint64_t seed, std::size_t threads,
                     std::int64_t round, Round& figures)
{
    Population& population = run.population;
    const auto sires = truncation(candidates.males, index, program.sires);
    const auto dams = truncation(candidates.females, index, program.dams);
    mark(population, sires, Role::sire);
    mark(population, dams, Role::dam);
    figures.sires = sires.size();
    figures.dams = dams.size();
    figures.intensity_sires = intensity(candidates.males, sires, index);
    figures.intensity_dams = intensity(candidates.females, dams, index);
    figures.selection = {
        static_cast<double>(sires.size()) / static_cast<double>(candidates.males.size()),
        static_cast<double>(dams.size()) / static_cast<double>(candidates.females.size()),
        0.5 * (mean_inbreeding(population, sires) + mean_inbreeding(population, dams))};
    const Matings matings = mate(population, program, sires, dams, seed, round);
    if (matings.unmet > 0)
        run.notes.push_back("round " + std::to_string(round) + ": " +
                            std::to_string(matings.unmet) +
                            " matings break the mating design, no exchange of sires avoiding them");
    add_offspring(population, program, matings.pairs, round + 1, seed, threads);
}

void check_candidates(const Candidates& candidates, std::int64_t round)
{
    // A round without candidates of a sex cannot go on; the program file's
    // checks make it all but impossible (every offspring a male, say).
    if (candidates.males.empty() || candidates.females.empty())
        throw common::Failure(
            common::ExitStatus::request_refused,
            "round " + std::to_string(round) + ": no " +
                (candidates.males.empty() ? "male" : "female") +
                " candidates were born; raise mating.offspring or the number of dams");
}

std::vector<double> coancestries(const Population& population,
                                 const shell::ProgressReport& progress)
{
    const relationship::InbreedingByPaths found{population.inbreeding, population.simulated.msv};
    return relationship::mean_coancestry_by_products(
        population.pedigree, found, relationship::group_by_generation(population.pedigree),
        progress);
}

}  // namespace

BreedingRun run_breeding(const BreedingProgram& program, std::uint64_t seed, std::size_t threads,
                         const shell::ProgressReport& progress)
{
    BreedingRun run;
    run.population.pedigree.generation_given = true;
    add_base(run.population, program, seed, threads);
    std::optional<Evaluation> evaluation;
    if (program.evaluates()) evaluation.emplace(program.model);
    const auto last = static_cast<std::int64_t>(program.generations);
    for (std::int64_t round = 0; round <= last; ++round) {
        progress("generation " + std::to_string(round), 0.0);
        const auto start = std::chrono::steady_clock::now();
        Round figures;
        std::vector<double> ebv;
        if (evaluation) ebv = evaluation->evaluate(run.population, figures.evaluation);
        const std::vector<double> values =
            criterion_values(run.population, program, ebv, seed, round);
        const Candidates candidates = candidates_of(run.population, program, round);
        std::vector<double> index(run.population.size(), std::nan(""));
        for (const auto* group : {&candidates.males, &candidates.females})
            for (const pedigree::AnimalIndex a : *group)
                index[static_cast<std::size_t>(a)] =
                    index_of(values, program, static_cast<std::size_t>(a));
        keep_ranking(run.population, program, values, index, round);
        figures.candidates_male = candidates.males.size();
        figures.candidates_female = candidates.females.size();
        if (round < last) {
            check_candidates(candidates, round);
            select_and_mate(run, program, candidates, index, seed, threads, round, figures);
        }
        figures.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.rounds.push_back(figures);
    }
    run.mean_coancestry = coancestries(run.population, progress);
    return run;
}

}  // namespace pedsim::breed
