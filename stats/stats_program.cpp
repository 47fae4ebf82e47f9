#include "stats_program.h"

#include <iostream>
#include <limits>
#include <vector>

#include "analysis.h"
#include "ancestry.h"
#include "exit_status.h"
#include "generation_groups.h"
#include "input_files.h"
#include "output_files.h"
#include "pedigree_reader.h"
#include "progress.h"
#include "report.h"

namespace pedsim::stats {

namespace {

// The rules of reading that the options give.
ReadingRules reading_rules(const Options& options)
{
    ReadingRules rules;
    if (options.columns) rules.columns = read_column_spec(*options.columns);
    rules.header = options.header;
    rules.selfing = options.selfing;
    if (options.unknown) {
        const std::string_view labels = *options.unknown;
        for (std::size_t start = 0; start <= labels.size();) {
            const std::size_t end = std::min(labels.find(',', start), labels.size());
            if (end > start) rules.unknown_labels.emplace_back(labels.substr(start, end - start));
            start = end + 1;
        }
    }
    return rules;
}

// The path an output is written to: empty for standard output.
std::string output_path(const std::optional<std::string>& path)
{
    return !path || is_standard_output(path) ? std::string() : *path;
}

// Refuses, before anything is read, outputs that would destroy an input or
// each other, and a table bound for a standard output closed at the start.
void check_outputs(const Options& options)
{
    std::vector<NamedFile> inputs{{"the pedigree", options.pedigree}};
    if (options.design) inputs.push_back({"--design", *options.design});
    std::vector<NamedFile> outputs;
    if (options.output) outputs.push_back({"-o", *options.output});
    if (options.animals) outputs.push_back({"--animals", *options.animals});
    refuse_shared_files(inputs, outputs);
    if (!options.standard_output_closed) return;
    if (output_path(options.output).empty())
        throw Failure(ExitStatus::file_error,
                      "standard output: it is closed; give -o FILE to write the table to a file");
    if (is_standard_output(options.animals))
        throw Failure(ExitStatus::file_error,
                      "standard output: it is closed; give --animals FILE to write the animals "
                      "to a file");
}

// The effective number of founders of the last generation by `rule`.
double last_generation_fe(const Pedigree& pedigree, FounderRule rule)
{
    const GenerationGroups groups = group_by_generation(pedigree);
    if (groups.size() == 0) return std::numeric_limits<double>::quiet_NaN();
    return effective_founders(pedigree, groups.members(groups.size() - 1), rule);
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
    check_outputs(options);
    const ReadingRules rules = reading_rules(options);
    TerminalProgress progress;
    std::optional<Parameters> design;
    if (options.design) design = read_design(*options.design);
    const Pedigree pedigree =
        read_pedigree(read_input(options.pedigree), input_name(options.pedigree), rules);
    for (const std::string& note : pedigree.notes) std::cerr << "pedsim-stats: " << note << '\n';
    Analysis analysis = analyse(pedigree, design, progress.callback());
    const FounderRule rule = options.fe_known_only ? FounderRule::known_founders_only
                                                   : FounderRule::missing_parent_is_founder;
    if (options.fe_known_only) analysis.effective_founders = last_generation_fe(pedigree, rule);
    std::vector<Output> outputs{
        {output_path(options.output), generation_table(pedigree, analysis, rule)}};
    if (options.animals)
        outputs.push_back({output_path(options.animals), animal_table(pedigree, analysis)});
    progress.erase();
    write_outputs(outputs);
}

}  // namespace pedsim::stats
