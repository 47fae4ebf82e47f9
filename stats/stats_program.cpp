#include "stats_program.h"

#include <vector>

#include "analysis.h"
#include "input_files.h"
#include "output_files.h"
#include "pedigree_reader.h"
#include "progress.h"
#include "replicate_study.h"
#include "report.h"

namespace pedsim::stats {

void run_stats(const Options& options)
{
    if (options.request != Options::Request::run) {
        const bool help = options.request == Options::Request::help;
        const Output answer{"", help ? usage_text() : version_text()};
        write_outputs({&answer, 1});
        return;
    }
    if (options.pedigrees.size() > 1) return run_replicates(options);
    TerminalProgress progress;
    std::optional<Parameters> design;
    if (options.design) design = read_design(*options.design);
    const Pedigree pedigree =
        read_pedigree(read_input(options.pedigree), input_name(options.pedigree));
    const Analysis analysis = analyse(pedigree, design, progress.callback());
    std::vector<Output> outputs{
        {options.output.value_or(""), generation_table_text(pedigree, analysis)}};
    if (options.animals) outputs.push_back({*options.animals, animal_table(pedigree, analysis)});
    progress.erase();
    write_outputs(outputs);
}

}  // namespace pedsim::stats
