#include "stats/replicate_study.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <system_error>

#include "common/failure.h"
#include "common/output_files.h"
#include "design/design_file.h"
#include "measures/analysis.h"
#include "measures/expected_inbreeding.h"
#include "pedigree/pedigree_file.h"
#include "shell/input_files.h"
#include "shell/parallel.h"
#include "shell/progress.h"
#include "stats/replicate_table.h"
#include "stats/report.h"

namespace pedsim::stats {

namespace {

std::vector<std::string> path_parts(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t slash; (slash = path.find('/', begin)) != std::string::npos; begin = slash + 1)
        parts.push_back(path.substr(begin, slash - begin));
    parts.push_back(path.substr(begin));
    return parts;
}

// How many leading parts every path shares.
std::size_t shared_leading_parts(const std::vector<std::vector<std::string>>& paths)
{
    std::size_t shared = paths.front().size();
    for (const auto& parts : paths) {
        const auto differ = std::ranges::mismatch(parts, paths.front()).in1;
        shared = std::min(shared, static_cast<std::size_t>(differ - parts.begin()));
    }
    return shared;
}

// One replicate read and analysed: only its rows are kept, and its own table
// when --each asks for it.
struct Analysed {
    Replicate replicate;
    std::string own_table;
    std::vector<std::string> notes;  // what the reader noted, told once all are read
};

Analysed analyse_one(const std::string& path, const std::optional<design::Parameters>& design,
                     const AnalysisSettings& settings, bool own_table)
{
    const std::string name = shell::input_name(path);
    const pedigree::Pedigree pedigree = pedigree::read_pedigree_file(path, settings.reading);
    measures::Analysis analysis = analyse_pedigree(pedigree, name, design, settings, {});
    Analysed result{{name, {}},
                    own_table ? generation_table_text(pedigree, analysis, settings.founder_rule)
                              : "",
                    pedigree.notes};
    result.replicate.generations = std::move(analysis.generations);
    return result;
}

// Analyses every pedigree, as many at once as there are workers; the results
// stand in the pedigrees' order whichever thread computed each.
std::vector<Analysed> analyse_all(const Options& options,
                                  const std::optional<design::Parameters>& design)
{
    const AnalysisSettings settings = analysis_settings(options);
    const std::size_t count = options.pedigrees.size();
    std::vector<Analysed> results(count);
    shell::TerminalProgress progress("pedsim-stats");
    std::mutex progress_mutex;  // the progress line is one thread's at a time
    std::atomic<std::size_t> finished = 0;
    const std::string stage = "analysing " + std::to_string(count) + " pedigrees";
    shell::for_each_chunk(count, 1, [&](std::size_t begin, std::size_t end, std::size_t) {
        for (std::size_t k = begin; k < end; ++k) {
            results[k] =
                analyse_one(options.pedigrees[k], design, settings, options.each.has_value());
            const double done = static_cast<double>(++finished) / static_cast<double>(count);
            const std::scoped_lock lock(progress_mutex);
            progress.report(stage, done);
        }
    });
    return results;
}

// Refuses two pedigrees whose tables would be one file, as "a-b/c" and
// "a/b-c" would.
void refuse_shared_names(std::span<const std::string> pedigrees, std::span<const std::string> names,
                         const std::string& directory)
{
    for (std::size_t k = 1; k < names.size(); ++k)
        for (std::size_t j = 0; j < k; ++j)
            if (names[j] == names[k])
                throw common::Failure(common::ExitStatus::request_refused,
                                      "--each: the tables of " + pedigrees[j] + " and " +
                                          pedigrees[k] + " would both be " + directory + '/' +
                                          names[k] + "; rename one of them");
}

void make_directory(const std::string& directory)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        throw common::Failure(common::ExitStatus::file_error, common::Place{directory, 0},
                              "cannot create the directory: " + error.message());
}

}  // namespace

std::vector<std::string> each_table_names(std::span<const std::string> pedigrees)
{
    std::vector<std::vector<std::string>> paths;
    for (const std::string& pedigree : pedigrees) paths.push_back(path_parts(pedigree));
    const std::size_t lead = shared_leading_parts(paths);
    const bool same_file_name = std::ranges::all_of(paths, [&](const auto& parts) {
        return parts.size() > lead + 1 && parts.back() == paths.front().back();
    });
    std::vector<std::string> names;
    for (const auto& parts : paths) {
        std::string name;
        for (std::size_t k = lead; k < parts.size() - (same_file_name ? 1 : 0); ++k)
            name += (name.empty() ? "" : "-") + parts[k];
        names.push_back(name + ".tsv");
    }
    return names;
}

std::vector<std::string> each_table_paths(const Options& options)
{
    const std::vector<std::string> names = each_table_names(options.pedigrees);
    refuse_shared_names(options.pedigrees, names, *options.each);
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(*options.each + '/' + name);
    return paths;
}

void run_replicates(const Options& options)
{
    std::optional<design::Parameters> design;
    if (options.design) design = design::read_design(*options.design);
    std::vector<Analysed> analysed = analyse_all(options, design);
    for (const Analysed& one : analysed)
        for (const std::string& note : one.notes) std::cerr << "pedsim-stats: " << note << '\n';
    std::vector<Replicate> replicates;
    for (Analysed& one : analysed) replicates.push_back(std::move(one.replicate));
    check_same_generations(replicates);
    std::optional<measures::DesignSummary> design_values;
    if (design) design_values = measures::design_summary(*design);
    std::vector<common::Output> outputs{
        {common::output_path(options.output), replicate_table_text(replicates, design_values)}};
    if (options.each) {
        const std::vector<std::string> paths = each_table_paths(options);
        for (std::size_t k = 0; k < analysed.size(); ++k)
            outputs.push_back({paths[k], std::move(analysed[k].own_table)});
        make_directory(*options.each);
    }
    common::write_outputs(outputs);
}

}  // namespace pedsim::stats
