#include "stats_program.h"

#include <vector>

#include "analysis.h"
#include "exit_status.h"
#include "input_files.h"
#include "output_files.h"
#include "pedigree_reader.h"
#include "progress.h"
#include "report.h"

namespace pedsim::stats {

namespace {

// What --time and --reference ask of `pedigree`, refused when it cannot give
// it: birth years from a pedigree without a time column, or a reference
// range that holds no animal.
TimeSettings time_settings(const Options& options, const Pedigree& pedigree)
{
    TimeSettings settings;
    if (options.time) settings.time = time_scale_named(*options.time);
    if (options.reference) settings.reference = time_range_named(*options.reference);
    if (settings.time == TimeScale::year && !pedigree.generation_given)
        throw Failure(usage_refused, "--time year: " + input_name(options.pedigree) +
                                         " has no fourth column of birth years");
    if (settings.reference && reference_animals(pedigree, *settings.reference).empty())
        throw Failure(usage_refused, "--reference " + *options.reference + ": no animal of " +
                                         input_name(options.pedigree) +
                                         " has a generation or birth year in that range");
    return settings;
}

}  // namespace

void run_stats(const Options& options)
{
    if (options.request != Options::Request::run) {
        const bool help = options.request == Options::Request::help;
        const Output answer{"", help ? usage_text() : version_text()};
        write_outputs({&answer, 1});
        return;
    }
    TerminalProgress progress;
    std::optional<Parameters> design;
    if (options.design) design = read_design(*options.design);
    const Pedigree pedigree =
        read_pedigree(read_input(options.pedigree), input_name(options.pedigree));
    const Analysis analysis =
        analyse(pedigree, design, progress.callback(), time_settings(options, pedigree));
    std::vector<Output> outputs{
        {options.output.value_or(""), generation_table_text(pedigree, analysis)}};
    if (options.animals) outputs.push_back({*options.animals, animal_table(pedigree, analysis)});
    progress.erase();
    write_outputs(outputs);
}

}  // namespace pedsim::stats
