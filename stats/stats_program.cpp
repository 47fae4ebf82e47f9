#include "stats/stats_program.h"

#include <cstdlib>
#include <iostream>
#include <vector>

#include "common/failure.h"
#include "common/output_files.h"
#include "design/design_file.h"
#include "measures/analysis.h"
#include "pedigree/pedigree_file.h"
#include "shell/input_files.h"
#include "shell/progress.h"
#include "shell/stage_times.h"
#include "stats/replicate_study.h"
#include "stats/report.h"

namespace pedsim::stats {

namespace {

// Refuses, before anything is read, a replicate given twice (under any
// name), outputs that would destroy an input or each other, --each's tables
// included, and a table bound for a standard output closed at the start.
void check_outputs(const Options& options)
{
    std::vector<common::NamedFile> inputs;
    for (const std::string& pedigree : options.pedigrees)
        inputs.push_back({"the pedigree", pedigree});
    if (inputs.empty()) inputs.push_back({"the pedigree", options.pedigree});
    common::refuse_repeated_inputs(
        inputs, "each replicate counts once (pedsim-stats --help lists the options)");
    if (options.design) inputs.push_back({"--design", *options.design});
    // The table goes to standard output when -o is not given.
    std::vector<common::NamedFile> outputs{{"-o", options.output.value_or(""), "the table"}};
    if (options.animals) outputs.push_back({"--animals", *options.animals, "the animals"});
    if (options.each)
        for (const std::string& path : each_table_paths(options))
            outputs.push_back({"--each", path, "the replicates' tables"});
    common::refuse_unsafe_outputs(inputs, outputs, options.closed.output, "pedsim-stats");
}

void run_one(const Options& options)
{
    shell::TerminalProgress progress("pedsim-stats");
    // Read here, once: the benchmarks' switch for the time of each stage.
    shell::StageTimes times(std::getenv("PEDSIM_STAGE_TIMES") != nullptr, "pedsim-stats");
    times.start("reading");
    std::optional<design::Parameters> design;
    if (options.design) design = design::read_design(*options.design);
    const AnalysisSettings settings = analysis_settings(options);
    const pedigree::Pedigree pedigree =
        pedigree::read_pedigree_file(options.pedigree, settings.reading);
    for (const std::string& note : pedigree.notes) std::cerr << "pedsim-stats: " << note << '\n';
    const measures::Analysis analysis =
        analyse_pedigree(pedigree, shell::input_name(options.pedigree), design, settings,
                         times.timing(progress.callback()), times.work_times());
    const measures::FounderRule rule = settings.founder_rule;
    times.start("table text");
    std::vector<common::Output> outputs{
        {common::output_path(options.output), generation_table_text(pedigree, analysis, rule)}};
    if (options.animals)
        outputs.push_back({common::output_path(options.animals), animal_table(pedigree, analysis)});
    progress.erase();
    times.start("writing");
    common::write_outputs(outputs);
}

}  // namespace

void run_stats(const Options& options)
{
    if (shell::answer_request(options.request, usage_text(), version_text())) return;
    check_outputs(options);
    if (options.pedigrees.size() > 1) return run_replicates(options);
    run_one(options);
}

}  // namespace pedsim::stats
