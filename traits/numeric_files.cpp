#include "traits/numeric_files.h"

#include <algorithm>
#include <map>

#include "shell/table_text.h"
#include "traits/parameter_files.h"

namespace pedsim::traits {

namespace {

using shell::append_cells;
using shell::append_number;
using shell::number_text;

std::size_t animal_code(pedigree::AnimalIndex animal)
{
    return animal == pedigree::unknown ? std::size_t{0} : static_cast<std::size_t>(animal) + 1;
}

// The value a record of `trait` shows in the files.
double numeric_value(const TraitRun& run, std::size_t i, std::size_t r, std::size_t t)
{
    const double value =
        record_value(run.simulated, run.model, run.relatedness.found.inbreeding, i, r, t);
    return run.model.is_threshold(t) ? value + 1 : value;
}

// The columns of an animal's record before the records' values, each with a
// space before it but the first.
void append_record_head(std::string& out, const TraitRun& run, const NumericCodes& codes,
                        std::size_t i, std::size_t r)
{
    append_number(out, i + 1);
    append_cells(out, ' ', animal_code(run.pedigree.dam[i]), 1, codes.generation[i], r + 1);
    for (const FixedLevels& effect : run.simulated.fixed) {
        if (effect.level.empty()) {
            out += ' ';
            append_covariate(out, effect, i);
        } else {
            append_cells(out, ' ', effect.level[i] + 1);
        }
    }
    append_cells(out, ' ', run.relatedness.found.inbreeding[i], sex_code(run.simulated.sex[i]));
    if (!run.model.permanent.empty()) append_cells(out, ' ', i + 1);
    if (!run.model.maternal_permanent.empty())
        append_cells(out, ' ', animal_code(run.pedigree.dam[i]));
}

void append_wide_records(std::string& out, const TraitRun& run, const NumericCodes& codes,
                         std::size_t i)
{
    for (std::size_t r = 0; run.simulated.recorded[i] && r < run.simulated.records; ++r) {
        if (!run.simulated.has_row(i, r)) continue;
        append_record_head(out, run, codes, i, r);
        for (std::size_t t = 0; t < run.model.trait_count(); ++t)
            append_cells(out, ' ',
                         run.simulated.has_record(i, r, t) ? numeric_value(run, i, r, t) : 0.0);
        out += '\n';
    }
}

// By trait within the animal, as programs reading this layout want them.
void append_long_records(std::string& out, const TraitRun& run, const NumericCodes& codes,
                         std::size_t i)
{
    for (std::size_t t = 0; run.simulated.recorded[i] && t < run.model.trait_count(); ++t)
        for (std::size_t r = 0; r < run.simulated.records; ++r) {
            if (!run.simulated.has_record(i, r, t)) continue;
            append_number(out, t + 1);
            out += ' ';
            append_record_head(out, run, codes, i, r);
            append_cells(out, ' ', numeric_value(run, i, r, t));
            out += '\n';
        }
}

std::string readme_text(const TraitRun& run, const NumericColumns& columns)
{
    std::string out =
        "Files for BLUPF90 and WOMBAT, written by pedsim-traits (seed " + number_text(run.seed) +
        ").\n"
        "Every code is 1..levels; 0 is an unknown parent or dam.\n"
        "pedigree.txt: animal sire dam, animals numbered 1..N, parents before offspring\n"
        "ids.txt: number identifier\n"
        "data.txt: " +
        std::string(columns.long_layout ? "a line per record and trait, by animal and trait"
                                        : "a line per record, 0 for a trait without it") +
        "; its columns:\n";
    for (std::size_t k = 0; k < columns.names.size(); ++k)
        out += "  " + number_text(k + 1) + ' ' + columns.names[k] + '\n';
    out += "trait: the trait's number; animal, dam: the numbers of pedigree.txt; intercept: 1;\n"
           "generation: 1 for the earliest; record: 1..; fixed effects: their levels 1.. in\n"
           "order of first appearance (--effects gives their true values), a covariate's\n"
           "value; inbreeding: the animal's F; animal_sex: 1 male, 2 female, 3 unknown; pe,\n"
           "mpe: the animal and the dam again, for the permanent and maternal permanent\n"
           "effects; a threshold trait's category c is written c + 1.\n"
           "blupf90.par and wombat.par fit the model as simulated with the true values as\n"
           "starting values: blupf90 blupf90.par, or wombat wombat.par, in this directory.\n";
    return out + variances_in_both_syntaxes(run.model);
}

}  // namespace

NumericCodes numeric_codes(const pedigree::Pedigree& pedigree)
{
    std::vector<std::int64_t> generations = pedigree.generation;
    // std::sort/std::unique rather than their ranges forms: clang 14 cannot
    // compile the subrange std::ranges::unique returns with libstdc++ 12.
    std::sort(generations.begin(), generations.end());
    generations.erase(std::unique(generations.begin(), generations.end()), generations.end());
    NumericCodes codes;
    codes.generation_count = generations.size();
    for (const std::int64_t generation : pedigree.generation)
        codes.generation.push_back(
            static_cast<std::size_t>(std::ranges::lower_bound(generations, generation) -
                                     generations.begin()) +
            1);
    return codes;
}

std::size_t sex_code(pedigree::Sex sex)
{
    return sex == pedigree::Sex::male ? 1 : sex == pedigree::Sex::female ? 2 : 3;
}

std::vector<common::Output> numeric_files(const TraitRun& run, const std::string& directory,
                                          bool long_layout)
{
    const pedigree::Pedigree& pedigree = run.pedigree;
    const NumericCodes codes = numeric_codes(pedigree);
    const NumericColumns columns = numeric_columns(run.model, long_layout);
    std::string pedigree_text, data, ids;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        append_number(pedigree_text, i + 1);
        append_cells(pedigree_text, ' ', animal_code(pedigree.sire[i]),
                     animal_code(pedigree.dam[i]));
        pedigree_text += '\n';
        append_number(ids, i + 1);
        ids += ' ' + pedigree.names[i] + '\n';
        if (long_layout)
            append_long_records(data, run, codes, i);
        else
            append_wide_records(data, run, codes, i);
    }
    const NumericModel numeric{run.model, columns, run.simulated.fixed, pedigree.size(),
                               codes.generation_count};
    const std::vector<std::string> paths = numeric_paths(directory);
    return {{paths[0], pedigree_text},
            {paths[1], data},
            {paths[2], ids},
            {paths[3], readme_text(run, columns)},
            {paths[4], blupf90_parameters(numeric)},
            {paths[5], wombat_parameters(numeric)}};
}

std::vector<std::string> numeric_paths(const std::string& directory)
{
    const std::string dir = directory + '/';
    return {dir + "pedigree.txt", dir + "data.txt",    dir + "ids.txt",
            dir + "README.txt",   dir + "blupf90.par", dir + "wombat.par"};
}

}  // namespace pedsim::traits
