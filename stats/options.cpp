#include "stats/options.h"

#include <charconv>
#include <string_view>

#include "common/exit_status.h"
#include "common/failure.h"
#include "measures/reference_population.h"
#include "measures/time_scale.h"
#include "pedigree/reading_options.h"
#include "shell/command_line.h"

namespace pedsim::stats {

namespace {

constexpr std::string_view program = "pedsim-stats";

[[noreturn]] void refuse(const std::string& what) { shell::refuse_usage(program, what); }

// The count that --fa-ancestors gives: a whole number from 1 up; nothing
// for any other text.
std::optional<std::size_t> ancestor_count_named(std::string_view text)
{
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc() || end != text.data() + text.size() || count == 0) return std::nullopt;
    return count;
}

// Refuses a --time or --reference whose value reads as neither.
void check_time_values(const Options& options)
{
    if (options.time && !measures::time_scale_named(*options.time))
        refuse("--time " + *options.time + ": the scale is generation, year or date");
    if (options.reference && !measures::time_range_named(*options.reference))
        refuse("--reference " + *options.reference +
               ": the range is FROM-TO (integers, FROM <= TO) or one value");
    if (options.fa_ancestors && !ancestor_count_named(*options.fa_ancestors))
        refuse("--fa-ancestors " + *options.fa_ancestors +
               ": the most ancestors fa chooses is a whole number from 1 up");
}

// Sets the switch that `argument` names; false when it names none.
bool read_switch(std::string_view argument, Options& options)
{
    if (argument != "--fe-known-only") return false;
    options.fe_known_only = true;
    return true;
}

// Reads one option at arguments[k]; moves k past its value.
void read_option(std::span<const char* const> arguments, std::size_t& k, Options& options)
{
    const std::string_view argument = arguments[k];
    if (shell::read_request(argument, options.request) || read_switch(argument, options) ||
        pedigree::read_reading_option(arguments, k, options, program))
        return;
    const shell::ValuedOption valued[] = {
        {"-o", &options.output, "a file name"},
        {"--animals", &options.animals, "a file name"},
        {"--design", &options.design, "a file name"},
        {"--each", &options.each, "a file name"},
        {"--time", &options.time, "a scale (generation, year or date)"},
        {"--reference", &options.reference, "a range FROM-TO"},
        {"--fa-ancestors", &options.fa_ancestors, "a number of ancestors"}};
    shell::read_valued_option(arguments, k, valued, program);
}

}  // namespace

Options read_options(std::span<const char* const> arguments)
{
    Options options;
    shell::read_arguments(
        arguments, [&](std::size_t& k) { read_option(arguments, k, options); },
        [&](std::string_view pedigree) { options.pedigrees.emplace_back(pedigree); });
    if (!options.pedigrees.empty()) options.pedigree = options.pedigrees.front();
    if (options.animals && options.pedigrees.size() > 1)
        refuse("--animals takes one pedigree; --each DIR keeps the table of every replicate");
    if (options.each && options.pedigrees.size() < 2)
        refuse("--each needs two or more pedigrees, the replicates of a study");
    check_time_values(options);
    return options;
}

AnalysisSettings analysis_settings(const Options& options)
{
    AnalysisSettings settings;
    settings.reading = pedigree::reading_rules(options);
    if (options.time) settings.time.time = measures::time_scale_named(*options.time);
    if (options.reference) {
        settings.time.reference = measures::time_range_named(*options.reference);
        settings.reference_text = *options.reference;
    }
    if (options.fe_known_only) settings.founder_rule = measures::FounderRule::known_founders_only;
    if (options.fa_ancestors)
        settings.ancestor_cap = ancestor_count_named(*options.fa_ancestors).value_or(0);
    return settings;
}

void check_time_settings(const AnalysisSettings& settings, const pedigree::Pedigree& pedigree,
                         const std::string& pedigree_name)
{
    if (settings.time.time == measures::TimeScale::year && !pedigree.generation_given)
        throw common::Failure(common::ExitStatus::request_refused,
                              "--time year: " + pedigree_name +
                                  " has no fourth column of birth years");
    if (settings.time.time == measures::TimeScale::date && pedigree.birth_time.empty())
        throw common::Failure(
            common::ExitStatus::request_refused,
            "--time date: " + pedigree_name +
                " has no time column of dates (YYYY-MM-DD, YYYY/MM/DD or DD.MM.YYYY)");
    if (settings.time.reference &&
        measures::reference_animals(pedigree, *settings.time.reference).empty())
        throw common::Failure(common::ExitStatus::request_refused,
                              "--reference " + settings.reference_text + ": no animal of " +
                                  pedigree_name + " has a generation or birth year in that range");
}

measures::Analysis
analyse_pedigree(const pedigree::Pedigree& pedigree, const std::string& pedigree_name,
                 const std::optional<design::Parameters>& design, const AnalysisSettings& settings,
                 const shell::ProgressReport& progress, const shell::WorkTimeReport& work_times)
{
    check_time_settings(settings, pedigree, pedigree_name);
    return measures::analyse(pedigree, design, progress, settings.time, settings.founder_rule,
                             settings.ancestor_cap, work_times);
}

std::string usage_text()
{
    return "Usage: pedsim-stats [options] [PEDIGREE]\n"
           "       pedsim-stats [options] PEDIGREE PEDIGREE...\n"
           "Reads PEDIGREE (default \"pedig\"; \"-\" for standard input) and writes its\n"
           "inbreeding, coancestry and effective size per generation as a tab-separated\n"
           "table. PEDIGREE holds rows \"animal sire dam [generation]\": a pedsim pedigree\n"
           "file, or any pedigree separated by blanks, tabs, commas or semicolons, with\n"
           "or without a header, plain, gzip or zstd (see pedsim-stats(1)).\n"
           "Two or more PEDIGREEs, the replicates of one design, give one table of the\n"
           "mean and standard error of every column across them (mean_F, mean_F_se, ...).\n"
           "\n"
           "Options:\n"
           "  -o FILE           write the table to FILE instead of standard output (\"-\")\n"
           "  --animals FILE    also write F, ECG, dF_individual and mean_kinship of every\n"
           "                    animal to FILE (\"-\": standard output, when -o names a file)\n"
           "  --design PARPOP   add the expected inbreeding of the design in the pedsim\n"
           "                    parameter file PARPOP, and its Wright's Ne\n"
           "  --time SCALE      the fourth column holds generations (SCALE generation),\n"
           "                    birth years (SCALE year) or dates (SCALE date); by\n"
           "                    default dates when its values are dates, years when\n"
           "                    every value lies between 1000 and 3000\n"
           "  --reference FROM-TO  the generations or birth years of the reference\n"
           "                    population of fe, fa, fg and mean_kinship; by default the\n"
           "                    last generation, or the birth years of the last interval\n"
           "  --fa-ancestors N  let fa choose up to N ancestors (default 1000)\n"
           "  --each DIR        with replicates, also write each one's own table in DIR\n" +
           pedigree::reading_options_usage() +
           "  --fe-known-only   count only known parents in the effective number of\n"
           "                    founders, rescaled, instead of the missing parent of an\n"
           "                    animal with one known parent as a founder of its own\n"
           "  -h, --help        write this help and exit\n"
           "  --version         write the version and exit\n";
}

std::string version_text() { return std::string("pedsim-stats ") + PEDSIM_VERSION + '\n'; }

}  // namespace pedsim::stats
