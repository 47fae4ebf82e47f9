#include "traits_program.h"

#include <unistd.h>

#include <iostream>
#include <iterator>
#include <vector>

#include "breeding_values.h"
#include "check_table.h"
#include "common/exit_status.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/output_files.h"
#include "common/progress.h"
#include "model.h"
#include "numeric_files.h"
#include "pedigree/input_files.h"
#include "pedigree/pedigree_reader.h"
#include "pedigree_relatedness.h"
#include "recorded_generations.h"
#include "relationship/parallel.h"
#include "tables.h"

namespace pedsim::traits {

namespace {

std::uint64_t run_seed(const Options& options, const TraitModel& model)
{
    if (options.seed) return *options.seed;
    if (model.seed) return *model.seed;
    throw Failure(ExitStatus::input_refused, Place{*options.model},
                  "no seed; add seed = N to the model or give --seed N");
}

// Refuses, before anything is read, outputs that would destroy an input or
// each other, and a table bound for a standard output or a standard error
// closed at the start.
void check_outputs(const Options& options)
{
    const std::vector<NamedFile> inputs{{"the pedigree", options.pedigree},
                                        {"--model", *options.model}};
    // The records go to standard output when -o is not given.
    std::vector<NamedFile> outputs{{"-o", options.output.value_or(""), "the records"}};
    if (options.animals) outputs.push_back({"--animals", *options.animals, "the animals"});
    if (options.check) outputs.push_back({"--check", *options.check, "the check table"});
    if (options.effects) outputs.push_back({"--effects", *options.effects, "the effects"});
    if (options.numeric)
        for (const std::string& path : numeric_paths(*options.numeric))
            outputs.push_back({"--numeric", path, "the numeric files"});
    refuse_unsafe_outputs(inputs, outputs, options.standard_output_closed, "pedsim-traits");
    // The check table is a table like the others: lost on a closed standard
    // error, where even this message goes nowhere but the exit status.
    if (!options.check && options.standard_error_closed)
        throw Failure(ExitStatus::file_error, "standard error: it is closed; give --check FILE "
                                              "to write the check table to a file");
}

std::vector<Output> outputs_of(const Options& options, const TraitRun& run,
                               const std::string& check)
{
    // Each text is moved into place: the records of a large pedigree are
    // tens of megabytes.
    std::vector<Output> outputs;
    outputs.push_back({output_path(options.output), records_table(run)});
    if (options.animals) outputs.push_back({output_path(options.animals), animals_table(run)});
    // Without --check the check table goes to standard error, written as
    // any table is: a failure there fails the run before any file is replaced.
    if (options.check) outputs.push_back({output_path(options.check), check});
    if (!options.check) outputs.push_back({"", check, STDERR_FILENO});
    if (options.effects) outputs.push_back({output_path(options.effects), effects_table(run)});
    if (options.numeric) {
        std::vector<Output> numeric = numeric_files(run, *options.numeric, options.numeric_long);
        outputs.insert(outputs.end(), std::make_move_iterator(numeric.begin()),
                       std::make_move_iterator(numeric.end()));
    }
    return outputs;
}

}  // namespace

void run_traits(const Options& options)
{
    if (options.request != Options::Request::run) {
        const bool help = options.request == Options::Request::help;
        const Output answer{"", help ? usage_text() : version_text()};
        write_outputs({&answer, 1});
        return;
    }
    check_outputs(options);
    TerminalProgress progress("pedsim-traits");
    const TraitModel model =
        read_model(stats::read_input(*options.model), stats::input_name(*options.model));
    const std::uint64_t seed = run_seed(options, model);
    const stats::Pedigree pedigree =
        stats::read_pedigree(stats::read_input(options.pedigree),
                             stats::input_name(options.pedigree), stats::reading_rules(options));
    for (const std::string& note : pedigree.notes) std::cerr << "pedsim-traits: " << note << '\n';
    if (const auto note =
            recorded_generations_note(model, pedigree, stats::input_name(*options.model)))
        std::cerr << "pedsim-traits: " << *note << '\n';
    const PedigreeRelatedness relatedness = pedigree_relatedness(pedigree, progress.callback());
    progress.report("drawing breeding values", 0.0);
    const std::size_t threads = options.threads.value_or(stats::worker_count());
    const Simulated simulated =
        simulate(pedigree, relatedness.found.inbreeding, model, seed, threads);
    const TraitRun run{pedigree, relatedness, model, seed, simulated, threads};
    const std::string check = check_report(run, check_rows(relatedness, model, simulated));
    const std::vector<Output> outputs = outputs_of(options, run, check);
    progress.erase();
    if (options.numeric) make_directories(*options.numeric);
    write_outputs(outputs);
}

}  // namespace pedsim::traits
