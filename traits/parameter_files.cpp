#include "traits/parameter_files.h"

#include <algorithm>

#include "shell/table_text.h"

namespace pedsim::traits {

namespace {

using shell::append_number;
using shell::number_text;

bool has_depression(const TraitModel& model)
{
    return std::ranges::any_of(model.inbreeding_depression, [](double b) { return b != 0; });
}

// The rows of a size x size matrix (row-major), one line each.
std::string matrix_rows(const std::vector<double>& values, std::size_t size)
{
    std::string out;
    for (std::size_t r = 0; r < size; ++r) {
        for (std::size_t c = 0; c < size; ++c) {
            if (c > 0) out += ' ';
            append_number(out, values[r * size + c]);
        }
        out += '\n';
    }
    return out;
}

// The upper triangle of a size x size matrix, a row of it per line: WOMBAT
// reads a parameter file's lines only up to a fixed length and goes on
// reading lines until it has every element, so one line of a larger
// matrix's whole triangle would lose its end.
std::string upper_triangle(const std::vector<double>& values, std::size_t size)
{
    std::string out;
    for (std::size_t r = 0; r < size; ++r) {
        for (std::size_t c = r; c < size; ++c) {
            if (c > r) out += ' ';
            append_number(out, values[r * size + c]);
        }
        out += '\n';
    }
    return out;
}

// One BLUPF90 effect line: the column for every trait, the levels, the type.
std::string blupf90_effect(const NumericModel& numeric, std::string_view column, std::size_t levels,
                           std::string_view type, std::string_view comment)
{
    std::string out;
    const std::size_t position = numeric.columns.position(column);
    for (std::size_t t = 0; t < numeric.model.trait_count(); ++t)
        out += number_text(position) + ' ';
    return out + number_text(levels) + ' ' + std::string(type) + "  # " + std::string(comment) +
           '\n';
}

// The EFFECTS lines, and the 1-based numbers of the random ones: animal,
// dam (0 without maternal effects), pe and maternal pe (0 when absent).
struct Effects {
    std::string lines;
    std::size_t count = 0, animal = 0, dam = 0, permanent = 0, maternal_permanent = 0;
};

Effects blupf90_effects(const NumericModel& numeric)
{
    const TraitModel& model = numeric.model;
    Effects effects;
    const auto add = [&](std::string_view column, std::size_t levels, std::string_view type,
                         std::string_view comment) {
        effects.lines += blupf90_effect(numeric, column, levels, type, comment);
        return ++effects.count;
    };
    add("intercept", 1, "cross", "intercept");
    for (std::size_t k = 0; k < model.fixed.size(); ++k) {
        const bool covariate = model.fixed[k].kind == FixedEffect::Kind::covariate;
        add(model.fixed[k].name, covariate ? 1 : numeric.fixed[k].level_count(),
            covariate ? "cov" : "cross", model.fixed[k].name);
    }
    if (has_depression(model)) add("inbreeding", 1, "cov", "inbreeding depression");
    effects.animal = add("animal", numeric.animals, "cross", "animal, additive");
    if (model.has_maternal())
        effects.dam = add("dam", numeric.animals, "cross", "dam, maternal additive");
    if (!model.permanent.empty())
        effects.permanent = add("animal", numeric.animals, "cross", "animal, permanent");
    if (!model.maternal_permanent.empty())
        effects.maternal_permanent =
            add("dam", numeric.animals, "cross", "dam, maternal permanent");
    return effects;
}

std::string blupf90_group(std::string_view effects, std::string_view type, std::string_view file,
                          const std::string& matrix)
{
    return "RANDOM_GROUP\n" + std::string(effects) + "\nRANDOM_TYPE\n" + std::string(type) +
           "\nFILE\n" + std::string(file) + "\n(CO)VARIANCES\n" + matrix;
}

std::string observation_columns(const NumericModel& numeric)
{
    if (numeric.columns.long_layout) return number_text(numeric.columns.position("value"));
    std::string out;
    for (const std::string& name : numeric.model.traits)
        out += (out.empty() ? "" : " ") + number_text(numeric.columns.position(name));
    return out;
}

}  // namespace

std::string blupf90_parameters(const NumericModel& numeric)
{
    const TraitModel& model = numeric.model;
    const std::size_t n = model.trait_count();
    if (numeric.columns.long_layout && n > 1)
        return "# BLUPF90 reads one line per record, all traits on it: write the files with\n"
               "# --numeric-layout wide for BLUPF90.\n";
    const Effects effects = blupf90_effects(numeric);
    std::string out = "# BLUPF90 parameter file written by pedsim-traits: the model as simulated,\n"
                      "# the true (co)variances as starting values; 0 is a missing record.\n";
    out += "DATAFILE\ndata.txt\nNUMBER_OF_TRAITS\n" + number_text(n) + "\nNUMBER_OF_EFFECTS\n" +
           number_text(effects.count) + "\nOBSERVATION(S)\n" + observation_columns(numeric) +
           "\nWEIGHT(S)\n\nEFFECTS:\n" + effects.lines;
    out += "RANDOM_RESIDUAL VALUES\n" + matrix_rows(model.residual.values, n);
    if (model.has_maternal())
        out += blupf90_group(number_text(effects.animal) + ' ' + number_text(effects.dam),
                             "add_animal", "pedigree.txt", matrix_rows(model.joint.values, 2 * n));
    else
        out += blupf90_group(number_text(effects.animal), "add_animal", "pedigree.txt",
                             matrix_rows(model.additive.values, n));
    if (effects.permanent != 0)
        out += blupf90_group(number_text(effects.permanent), "diagonal", "",
                             matrix_rows(model.permanent.values, n));
    if (effects.maternal_permanent != 0)
        out += blupf90_group(number_text(effects.maternal_permanent), "diagonal", "",
                             matrix_rows(model.maternal_permanent.values, n));
    return out;
}

namespace {

// The names WOMBAT gives the traits: their own.
std::string trait_names(const TraitModel& model)
{
    std::string out;
    for (const std::string& name : model.traits) out += (out.empty() ? "" : " ") + name;
    return out;
}

// The number of levels WOMBAT is told for a column of data.txt; 0 for a
// column holding values rather than codes.
std::size_t wombat_levels(const NumericModel& numeric, const std::string& name)
{
    const TraitModel& model = numeric.model;
    if (name == "animal" || name == "dam" || name == "pe" || name == "mpe") return numeric.animals;
    if (name == "intercept") return 1;
    if (name == "generation") return numeric.generations;
    if (name == "record") return model.most_records_per_animal();
    if (name == "animal_sex") return 3;
    const auto fixed = std::ranges::find(model.fixed, name, &FixedEffect::name);
    if (fixed == model.fixed.end() || fixed->kind == FixedEffect::Kind::covariate) return 0;
    return numeric.fixed[static_cast<std::size_t>(fixed - model.fixed.begin())].level_count();
}

// A line per column of data.txt: TRNO for the trait number, the name and
// levels of a code, the name of a value, and the traits' names on the
// column of the records.
std::string wombat_data_block(const NumericModel& numeric)
{
    std::string out = "DATA data.txt\n";
    for (const std::string& name : numeric.columns.names) {
        out += "  ";
        if (name == "trait")
            out += "TRNO";
        else if (name == "value")
            out += trait_names(numeric.model);
        else
            out += name;
        if (const std::size_t levels = wombat_levels(numeric, name); levels != 0)
            out += ' ' + number_text(levels);
        out += '\n';
    }
    return out + "END DATA\n";
}

std::string wombat_model_block(const NumericModel& numeric)
{
    const TraitModel& model = numeric.model;
    std::string out = "MODEL\n";
    for (const FixedEffect& effect : model.fixed)
        out += effect.kind == FixedEffect::Kind::covariate ? "  COV " + effect.name + "(1)\n"
                                                           : "  FIX " + effect.name + '\n';
    if (has_depression(model)) out += "  COV inbreeding(1)\n";
    out += "  RAN animal NRM\n";
    if (model.has_maternal()) out += "  RAN dam NRM\n";
    if (!model.permanent.empty()) out += "  RAN pe IDE\n";
    if (!model.maternal_permanent.empty()) out += "  RAN mpe IDE\n";
    for (std::size_t t = 0; t < model.trait_count(); ++t)
        out += "  TRAIT " + model.traits[t] + ' ' + number_text(t + 1) + '\n';
    return out + "END MODEL\n";
}

// With repeated records of several traits WOMBAT wants to be told which
// records share a time, and so a residual covariance: those of one record
// number. It stops at a covariable of value 0 unless told that 0 is a value
// (F is 0 for every animal of unknown parents; an age or a generation may be
// 0 too): each covariable is confirmed.
std::string wombat_special_block(const TraitModel& model)
{
    std::string lines;
    if (model.trait_count() > 1 && model.most_records_per_animal() > 1)
        lines += "  RPTCOV TSELECT record\n";
    for (const FixedEffect& effect : model.fixed)
        if (effect.kind == FixedEffect::Kind::covariate)
            lines += "  COVZER " + effect.name + "(1) FIT\n";
    if (has_depression(model)) lines += "  COVZER inbreeding(1) FIT\n";
    return lines.empty() ? "" : "SPECIAL\n" + lines + "END SPECIAL\n";
}

// Traits with repeated records before those with one, as WOMBAT wants them.
bool repeated_traits_first(const TraitModel& model)
{
    const auto single = std::ranges::find_if(model.records, [](std::size_t r) { return r < 2; });
    return std::ranges::all_of(single, model.records.end(), [](std::size_t r) { return r < 2; });
}

// What a user must do before WOMBAT runs the file, as comment lines.
std::string wombat_warnings(const TraitModel& model)
{
    std::string out;
    if (model.has_maternal() || !model.maternal_permanent.empty())
        out += "# WOMBAT refuses a dam code 0 with maternal effects: drop the records of\n"
               "# animals whose dam is unknown (dam 0 in data.txt) before running it.\n";
    if (model.has_maternal() &&
        std::ranges::any_of(model.direct_maternal, [](double c) { return c != 0; }))
        out += "# The direct-maternal covariances are not in this file: README.txt gives the\n"
               "# joint matrix.\n";
    if (model.trait_count() > 1 && model.most_records_per_animal() > 1 &&
        !repeated_traits_first(model))
        out += "# WOMBAT wants the traits with repeated records numbered first: list them\n"
               "# first in the model's traits.\n";
    return out;
}

}  // namespace

std::string wombat_parameters(const NumericModel& numeric)
{
    const TraitModel& model = numeric.model;
    const std::size_t n = model.trait_count();
    if (!numeric.columns.long_layout && n > 1)
        return "# WOMBAT reads one line per record and trait, the trait's number first: write\n"
               "# the files with --numeric-layout long for WOMBAT.\n";
    std::string out = "# WOMBAT parameter file written by pedsim-traits: the model as simulated,\n"
                      "# the true (co)variances as starting values.\n" +
                      wombat_warnings(model);
    out += std::string("ANALYSIS ") + (n == 1 ? "UNI" : "MUV") + "\nPEDS pedigree.txt\n";
    out += wombat_data_block(numeric) + wombat_model_block(numeric) + wombat_special_block(model);
    const std::string size = ' ' + number_text(n) + " UNSTR\n";
    out += "VAR animal" + size + upper_triangle(model.additive.values, n);
    if (model.has_maternal()) out += "VAR dam" + size + upper_triangle(model.maternal.values, n);
    if (!model.permanent.empty())
        out += "VAR pe" + size + upper_triangle(model.permanent.values, n);
    if (!model.maternal_permanent.empty())
        out += "VAR mpe" + size + upper_triangle(model.maternal_permanent.values, n);
    out += "VAR residual" + size + upper_triangle(model.residual.values, n);
    return out;
}

std::string variances_in_both_syntaxes(const TraitModel& model)
{
    const std::size_t n = model.trait_count();
    std::string out;
    const auto add = [&](const std::string& what, const std::vector<double>& values,
                         std::size_t size) {
        out += what + ", BLUPF90 (full matrix, a row per line):\n" + matrix_rows(values, size) +
               what + ", WOMBAT (upper triangle, row by row):\n" + upper_triangle(values, size);
    };
    add("Additive (co)variances", model.additive.values, n);
    if (model.has_maternal())
        add("Direct and maternal additive (co)variances, direct traits first", model.joint.values,
            2 * n);
    add("Residual (co)variances", model.residual.values, n);
    if (!model.permanent.empty()) add("Permanent (co)variances", model.permanent.values, n);
    if (!model.maternal_permanent.empty())
        add("Maternal permanent (co)variances", model.maternal_permanent.values, n);
    return out;
}

}  // namespace pedsim::traits
