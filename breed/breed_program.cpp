#include "breed/breed_program.h"

#include <unistd.h>

#include <iostream>
#include <iterator>
#include <vector>

#include "breed/breeding_run.h"
#include "breed/program.h"
#include "breed/tables.h"
#include "common/exit_status.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/output_files.h"
#include "shell/input_files.h"
#include "shell/parallel.h"
#include "shell/progress.h"
#include "traits/model.h"
#include "traits/numeric_files.h"
#include "traits/tables.h"

namespace pedsim::breed {

namespace {

void check_outputs(const Options& options)
{
    const std::vector<common::NamedFile> inputs{{"--program", *options.program}};
    std::vector<common::NamedFile> outputs{{"-o", options.output.value_or(""), "the pedigree"}};
    if (options.animals) outputs.push_back({"--animals", *options.animals, "the animals"});
    if (options.records) outputs.push_back({"--records", *options.records, "the records"});
    if (options.summary) outputs.push_back({"--summary", *options.summary, "the summary"});
    if (options.numeric)
        for (const std::string& path : traits::numeric_paths(*options.numeric))
            outputs.push_back({"--numeric", path, "the numeric files"});
    common::refuse_unsafe_outputs(inputs, outputs, options.closed.output, "pedsim-breed");
    if (!options.summary && options.closed.error)
        throw common::Failure(
            common::ExitStatus::file_error,
            "standard error: it is closed; give --summary FILE to write the summary to a file");
}

// The records and numeric files, through pedsim-traits' own writers.
void add_trait_outputs(const Options& options, const BreedingRun& run,
                       const BreedingProgram& program, std::uint64_t seed, std::size_t threads,
                       std::vector<common::Output>& outputs)
{
    if (!options.records && !options.numeric) return;
    traits::PedigreeRelatedness relatedness;
    relatedness.found.inbreeding = run.population.inbreeding;
    relatedness.found.mean_coancestry = run.mean_coancestry;
    const traits::TraitRun trait_run{run.population.pedigree,  relatedness, program.model, seed,
                                     run.population.simulated, threads};
    if (options.records)
        outputs.push_back({common::output_path(options.records), traits::records_table(trait_run)});
    if (options.numeric) {
        std::vector<common::Output> numeric =
            traits::numeric_files(trait_run, *options.numeric, false);
        outputs.insert(outputs.end(), std::make_move_iterator(numeric.begin()),
                       std::make_move_iterator(numeric.end()));
    }
}

std::vector<common::Output> outputs_of(const Options& options, const BreedingRun& run,
                                       const BreedingProgram& program, std::uint64_t seed,
                                       std::size_t threads)
{
    std::vector<common::Output> outputs;
    outputs.push_back({common::output_path(options.output), pedigree_table(run.population)});
    if (options.animals)
        outputs.push_back({common::output_path(options.animals), animals_table(run, program)});
    std::string summary = summary_table(run, program, seed);
    if (options.summary)
        outputs.push_back({common::output_path(options.summary), std::move(summary)});
    if (!options.summary) outputs.push_back({"", std::move(summary), STDERR_FILENO});
    add_trait_outputs(options, run, program, seed, threads, outputs);
    return outputs;
}

}  // namespace

void run_breed(const Options& options)
{
    if (shell::answer_request(options.request, usage_text(), version_text())) return;
    check_outputs(options);
    shell::TerminalProgress progress("pedsim-breed");
    const BreedingProgram program =
        read_program(shell::read_input(*options.program), shell::input_name(*options.program));
    const std::uint64_t seed =
        traits::run_seed(options.seed, program.model, *options.program, "program");
    const std::size_t threads = options.threads.value_or(shell::worker_count());
    const BreedingRun run = run_breeding(program, seed, threads, progress.callback());
    const std::vector<common::Output> outputs = outputs_of(options, run, program, seed, threads);
    progress.erase();
    for (const std::string& note : run.notes) std::cerr << "pedsim-breed: " << note << '\n';
    if (options.numeric) common::make_directories(*options.numeric);
    common::write_outputs(outputs);
}

}  // namespace pedsim::breed
