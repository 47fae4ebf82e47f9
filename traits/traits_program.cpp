#include "traits/traits_program.h"

#include <unistd.h>

#include <iostream>
#include <iterator>
#include <vector>

#include "common/exit_status.h"
#include "common/failure.h"
#include "common/files.h"
#include "common/output_files.h"
#include "pedigree/pedigree_file.h"
#include "shell/input_files.h"
#include "shell/parallel.h"
#include "shell/progress.h"
#include "traits/breeding_values.h"
#include "traits/check_table.h"
#include "traits/model.h"
#include "traits/numeric_files.h"
#include "traits/pedigree_columns.h"
#include "traits/pedigree_relatedness.h"
#include "traits/recorded_generations.h"
#include "traits/tables.h"

namespace pedsim::traits {

namespace {

// Refuses, before anything is read, outputs that would destroy an input or
// each other, and a table bound for a standard output or a standard error
// closed at the start.
void check_outputs(const Options& options)
{
    const std::vector<common::NamedFile> inputs{{"the pedigree", options.pedigree},
                                                {"--model", *options.model}};
    // The records go to standard output when -o is not given.
    std::vector<common::NamedFile> outputs{{"-o", options.output.value_or(""), "the records"}};
    if (options.animals) outputs.push_back({"--animals", *options.animals, "the animals"});
    if (options.check) outputs.push_back({"--check", *options.check, "the check table"});
    if (options.effects) outputs.push_back({"--effects", *options.effects, "the effects"});
    if (options.numeric)
        for (const std::string& path : numeric_paths(*options.numeric))
            outputs.push_back({"--numeric", path, "the numeric files"});
    common::refuse_unsafe_outputs(inputs, outputs, options.closed.output, "pedsim-traits");
    // The check table is a table like the others: lost on a closed standard
    // error, where even this message goes nowhere but the exit status.
    if (!options.check && options.closed.error)
        throw common::Failure(common::ExitStatus::file_error,
                              "standard error: it is closed; give --check FILE "
                              "to write the check table to a file");
}

std::vector<common::Output> outputs_of(const Options& options, const TraitRun& run,
                                       const std::string& check)
{
    // Each text is moved into place: the records of a large pedigree are
    // tens of megabytes.
    std::vector<common::Output> outputs;
    outputs.push_back({common::output_path(options.output), records_table(run)});
    if (options.animals)
        outputs.push_back({common::output_path(options.animals), animals_table(run)});
    // Without --check the check table goes to standard error, written as
    // any table is: a failure there fails the run before any file is replaced.
    if (options.check) outputs.push_back({common::output_path(options.check), check});
    if (!options.check) outputs.push_back({"", check, STDERR_FILENO});
    if (options.effects)
        outputs.push_back({common::output_path(options.effects), effects_table(run)});
    if (options.numeric) {
        std::vector<common::Output> numeric =
            numeric_files(run, *options.numeric, options.numeric_long);
        outputs.insert(outputs.end(), std::make_move_iterator(numeric.begin()),
                       std::make_move_iterator(numeric.end()));
    }
    return outputs;
}

}  // namespace

void run_traits(const Options& options)
{
    if (shell::answer_request(options.request, usage_text(), version_text())) return;
    check_outputs(options);
    shell::TerminalProgress progress("pedsim-traits");
    const TraitModel model =
        read_model(shell::read_input(*options.model), shell::input_name(*options.model));
    const std::uint64_t seed = run_seed(options.seed, model, *options.model, "model");
    pedigree::ReadingRules rules = pedigree::reading_rules(options);
    rules.kept_columns = column_requests(model);
    const pedigree::Pedigree pedigree = pedigree::read_pedigree_file(options.pedigree, rules);
    check_pedigree_columns(pedigree, model, shell::input_name(*options.model),
                           shell::input_name(options.pedigree));
    for (const std::string& note : pedigree.notes) std::cerr << "pedsim-traits: " << note << '\n';
    if (const auto note =
            recorded_generations_note(model, pedigree, shell::input_name(*options.model)))
        std::cerr << "pedsim-traits: " << *note << '\n';
    const PedigreeRelatedness relatedness = pedigree_relatedness(pedigree, progress.callback());
    progress.report("drawing breeding values", 0.0);
    const std::size_t threads = options.threads.value_or(shell::worker_count());
    const Simulated simulated =
        simulate(pedigree, relatedness.found.inbreeding, model, seed, threads);
    const TraitRun run{pedigree, relatedness, model, seed, simulated, threads};
    const std::string check = check_report(run, check_rows(relatedness, model, simulated));
    const std::vector<common::Output> outputs = outputs_of(options, run, check);
    progress.erase();
    if (options.numeric) common::make_directories(*options.numeric);
    common::write_outputs(outputs);
}

}  // namespace pedsim::traits
