// The command line of pedsim-stats:
//   pedsim-stats [-o FILE] [--animals FILE] [--design PARPOP] [--time SCALE]
//                [--reference FROM-TO] [--columns LIST] [--header | --no-header]
//                [--fa-ancestors N] [--unknown LABELS] [--selfing] [--fe-known-only]
//                [PEDIGREE]
//   pedsim-stats [-o FILE] [--each DIR] [--design PARPOP] [reading options]
//                PEDIGREE PEDIGREE...
//   pedsim-stats --help | -h | --version
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "design/parameters.h"
#include "measures/analysis.h"
#include "measures/ancestry.h"
#include "pedigree/pedigree_rows.h"
#include "pedigree/reading_options.h"
#include "shell/command_line.h"
#include "shell/progress.h"
#include "shell/stage_times.h"

namespace pedsim::stats {

// The reading options (--columns, --header, ...) are those of every program
// that reads a pedigree.
struct Options : pedigree::ReadingOptions, shell::ProgramOptions {
    std::string pedigree = "pedig";        // "-": standard input
    std::optional<std::string> output;     // -o FILE; standard output when none or "-"
    std::optional<std::string> animals;    // --animals FILE; "-": standard output
    std::optional<std::string> design;     // --design PARPOP
    std::optional<std::string> time;       // --time generation|year|date
    std::optional<std::string> reference;  // --reference FROM-TO
    bool fe_known_only = false;            // --fe-known-only
    // --fa-ancestors N: the most ancestors fa chooses
    std::optional<std::string> fa_ancestors;
    // Every PEDIGREE given, in order; two or more are the replicates of a
    // study (`pedigree` is then the first).
    std::vector<std::string> pedigrees;
    std::optional<std::string> each;  // --each DIR: every replicate's own table
};

// Reads the arguments after the program's name. An option's value follows it
// as the next argument or after '=' ("--animals=FILE", "-oFILE"); "--" ends
// the options. Throws a Failure (request_refused) whose one-line message ends
// with a hint at --help, for an unknown option, an option without its value
// or given twice, --header with --no-header, --animals with two or more
// PEDIGREEs, --each with fewer, a --time other than generation, year or date, a
// --reference that is no range, or an --fa-ancestors that is no whole number
// from 1 up. Outputs are checked once read
// (refuse_unsafe_outputs).
Options read_options(std::span<const char* const> arguments);

// What the options ask of every pedigree analysed, read once from them.
struct AnalysisSettings {
    pedigree::ReadingRules reading;  // --columns, --header, --no-header, --unknown, --selfing
    measures::TimeSettings time;     // --time and --reference
    std::string reference_text;      // --reference as given, for the messages
    // The founders that fe counts (--fe-known-only).
    measures::FounderRule founder_rule = measures::FounderRule::missing_parent_is_founder;
    std::size_t ancestor_cap = measures::most_ancestors;  // --fa-ancestors
};

// The settings of `options`, which read_options has checked. Throws a
// Failure (request_refused) for a malformed --columns.
AnalysisSettings analysis_settings(const Options& options);

// Refuses what the time settings ask of `pedigree`, read from
// `pedigree_name`, when it cannot give it: a Failure (request_refused) for
// birth years from a pedigree without a time column, or a reference range
// that holds no animal.
void check_time_settings(const AnalysisSettings& settings, const pedigree::Pedigree& pedigree,
                         const std::string& pedigree_name);

// The analysis of `pedigree`, read from `pedigree_name`, by the settings,
// once check_time_settings accepts them for it; `design` adds the design's
// expectation. What a single run and every replicate of a study compute.
// `progress` and `work_times` as measures::analyse takes them.
measures::Analysis analyse_pedigree(const pedigree::Pedigree& pedigree,
                                    const std::string& pedigree_name,
                                    const std::optional<design::Parameters>& design,
                                    const AnalysisSettings& settings,
                                    const shell::ProgressReport& progress,
                                    const shell::WorkTimeReport& work_times = {});

// The text --help writes.
std::string usage_text();

// The text --version writes: "pedsim-stats VERSION".
std::string version_text();

}  // namespace pedsim::stats
