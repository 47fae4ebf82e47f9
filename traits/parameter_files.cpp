#include "parameter_files.h"

#include <algorithm>

#include "pedigree/table_text.h"

namespace pedsim::traits {

namespace {

using stats::append_number;
using stats::number_text;

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

// The upper triangle of a size x size matrix, row by row, on one line.
std::string upper_triangle(const std::vector<double>& values, std::size_t size)
{
    std::string out;
    for (std::size_t r = 0; r < size; ++r)
        for (std::size_t c = r; c < size; ++c) {
            if (!out.empty()) out += ' ';
            append_number(out, values[r * size + c]);
        }
    return out + '\n';
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

std::string wombat_data_block(const NumericModel& numeric)
{
    const TraitModel& model = numeric.model;
    std::string out = "DATA data.txt\n";
    for (const std::string& name : numeric.columns.names) {
        out += "  ";
        if (name == "trait") {
            out += "TRNO\n";
            continue;
        }
        out += name;
        const auto fixed = std::ranges::find(model.fixed, name, &FixedEffect::name);
        if (name == "animal" || name == "dam") out += ' ' + number_text(numeric.animals);
        if (name == "intercept") out += " 1";
        if (name == "generation") out += ' ' + number_text(numeric.generations);
        if (name == "record") out += ' ' + number_text(model.most_records_per_animal());
        if (name == "animal_sex") out += " 3";
        if (fixed != model.fixed.end() && fixed->kind != FixedEffect::Kind::covariate)
            out += ' ' +
                   number_text(numeric.fixed[static_cast<std::size_t>(fixed - model.fixed.begin())]
                                   .level_count());
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
    for (std::size_t t = 0; t < model.trait_count(); ++t)
        out += "  TRAIT " + (numeric.columns.long_layout ? std::string("value") : model.traits[t]) +
               ' ' + number_text(t + 1) + '\n';
    return out + "END MODEL\n";
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
                      "# the true (co)variances as starting values";
    if (!model.permanent.empty() || !model.maternal_permanent.empty())
        out += ";\n# the permanent effects are not in it: add a column coding them to fit them";
    if (model.has_maternal() &&
        std::ranges::any_of(model.direct_maternal, [](double c) { return c != 0; }))
        out += ";\n# the direct-maternal covariances are in README.txt";
    out += ".\n";
    out += std::string("ANALYSIS ") + (n == 1 ? "UNI" : "MUV") + "\nPEDS pedigree.txt\n";
    out += wombat_data_block(numeric) + wombat_model_block(numeric);
    const std::string size = ' ' + number_text(n) + " UNSTR\n";
    out += "VAR animal" + size + upper_triangle(model.additive.values, n);
    if (model.has_maternal()) out += "VAR dam" + size + upper_triangle(model.maternal.values, n);
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
