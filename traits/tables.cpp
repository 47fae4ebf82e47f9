#include "traits/tables.h"

#include <string_view>

#include "pedigree/parent_names.h"
#include "shell/parallel.h"
#include "shell/table_text.h"

namespace pedsim::traits {

namespace {

using shell::append_cells;
using shell::append_number;
using shell::number_text;

void append_identity(std::string& out, const pedigree::Pedigree& pedigree, std::size_t i)
{
    pedigree::append_names(out, pedigree, i);
    append_cells(out, '\t', pedigree.generation[i]);
}

// The values of one record, each with `separator` before it; `missing`
// where the trait has no such record.
void append_phenotypes(std::string& out, const TraitRun& run, std::size_t i, std::size_t r,
                       char separator, std::string_view missing)
{
    for (std::size_t t = 0; t < run.model.trait_count(); ++t) {
        out += separator;
        if (run.simulated.has_record(i, r, t))
            append_number(out, record_value(run.simulated, run.model,
                                            run.relatedness.found.inbreeding, i, r, t));
        else
            out += missing;
    }
}

// The animal's level of every fixed effect (a covariate's value), each
// with a tab before it.
void append_fixed_levels(std::string& out, const TraitRun& run, std::size_t i)
{
    for (const FixedLevels& effect : run.simulated.fixed) {
        out += '\t';
        if (effect.level.empty())
            append_covariate(out, effect, i);
        else
            out += effect.labels[effect.level[i]];
    }
}

// The liability of the animal's first record of a threshold trait, with a
// tab before it; empty when it has none.
void append_liability(std::string& out, const TraitRun& run, std::size_t i, std::size_t t)
{
    out += '\t';
    for (std::size_t r = 0; run.simulated.recorded[i] && r < run.simulated.records; ++r)
        if (run.simulated.has_record(i, r, t)) {
            append_number(out, phenotype(run.simulated, run.model, run.relatedness.found.inbreeding,
                                         i, r, t));
            return;
        }
}

std::string summary_line(const std::string& key, const std::string& value)
{
    return "# " + key + ": " + value + '\n';
}

// The rows of the records table, and the records of each trait.
std::pair<std::size_t, std::vector<std::size_t>> record_counts(const Simulated& simulated)
{
    std::size_t rows = 0;
    std::vector<std::size_t> per_trait(simulated.traits, 0);
    for (std::size_t i = 0; i < simulated.recorded.size(); ++i)
        for (std::size_t r = 0; simulated.recorded[i] && r < simulated.records; ++r) {
            rows += simulated.has_row(i, r);
            for (std::size_t t = 0; t < simulated.traits; ++t)
                per_trait[t] += simulated.has_record(i, r, t);
        }
    return {rows, per_trait};
}

std::string records_summary(const TraitRun& run)
{
    const auto [rows, per_trait] = record_counts(run.simulated);
    if (run.model.records_complete())
        return number_text(rows) + " (" + number_text(run.simulated.records) +
               " per recorded animal)";
    std::string out = number_text(rows) + " rows;";
    for (std::size_t t = 0; t < per_trait.size(); ++t)
        out += ' ' + run.model.traits[t] + ' ' + number_text(per_trait[t]);
    return out;
}

std::string matrix_text(const Covariance& covariance)
{
    std::string out = "[";
    for (std::size_t r = 0; r < covariance.size; ++r) {
        out += r == 0 ? "[" : ", [";
        for (std::size_t c = 0; c < covariance.size; ++c) {
            if (c > 0) out += ", ";
            append_number(out, covariance.at(r, c));
        }
        out += ']';
    }
    return out + ']';
}

std::string model_summary(const TraitModel& model)
{
    const std::size_t n = model.trait_count();
    std::string traits;
    for (const std::string& name : model.traits) traits += (traits.empty() ? "" : " ") + name;
    std::string means, depression;
    for (std::size_t t = 0; t < model.trait_count(); ++t) {
        means += (t == 0 ? "" : " ") + number_text(model.mean[t]);
        depression += (t == 0 ? "" : " ") + number_text(model.inbreeding_depression[t]);
    }
    std::string out = summary_line("traits", traits);
    out += summary_line("means", means);
    out += summary_line("inbreeding depression, per unit of F", depression);
    out += summary_line("additive (co)variances, base population", matrix_text(model.additive));
    out += summary_line("residual (co)variances", matrix_text(model.residual));
    if (!model.permanent.empty())
        out += summary_line("permanent (co)variances", matrix_text(model.permanent));
    if (model.has_maternal()) {
        out += summary_line("maternal additive (co)variances", matrix_text(model.maternal));
        out += summary_line("direct-maternal covariances (rows direct, columns maternal)",
                            matrix_text(Covariance{n, model.direct_maternal, {}}));
    }
    if (!model.maternal_permanent.empty())
        out +=
            summary_line("maternal permanent (co)variances", matrix_text(model.maternal_permanent));
    for (std::size_t t = 0; t < n; ++t)
        if (model.is_threshold(t)) {
            std::string thresholds;
            for (const double threshold : model.threshold[t])
                thresholds += (thresholds.empty() ? "" : " ") + number_text(threshold);
            out += summary_line("thresholds of " + model.traits[t], thresholds);
        }
    return out;
}

// A line per fixed effect: its levels and the realised variance of their
// values per trait beside the model's (about the levels' mean, divided by
// their number), or a covariate's slopes.
std::string fixed_summary(const TraitRun& run)
{
    const std::size_t n = run.model.trait_count();
    std::string out;
    for (std::size_t k = 0; k < run.model.fixed.size(); ++k) {
        const FixedEffect& effect = run.model.fixed[k];
        const FixedLevels& levels = run.simulated.fixed[k];
        std::string text;
        if (effect.kind == FixedEffect::Kind::covariate) {
            text = "covariate " + effect.source;
            if (effect.source == "age")
                text += ' ' + number_text(effect.age.from) + " to " + number_text(effect.age.to);
            text += ", slope";
            for (const double slope : effect.slope) text += ' ' + number_text(slope);
        } else {
            const auto count = static_cast<double>(levels.level_count());
            text = number_text(levels.level_count()) + " levels; realised variance";
            for (std::size_t t = 0; t < n; ++t) {
                double sum = 0, squares = 0;
                for (std::size_t l = 0; l < levels.level_count(); ++l)
                    sum += levels.values[l * n + t];
                for (std::size_t l = 0; l < levels.level_count(); ++l) {
                    const double d = levels.values[l * n + t] - sum / count;
                    squares += d * d;
                }
                text += ' ' + number_text(squares / count);
            }
            if (!effect.variance.empty()) {
                text += " (expected";
                for (std::size_t t = 0; t < n; ++t)
                    text += ' ' + number_text(effect.variance.at(t, t));
                text += ')';
            }
        }
        out += summary_line("fixed effect " + effect.name, text);
    }
    return out;
}

// `out` followed by the rows append_rows(text, animal) writes for every
// animal in order. The animals go in chunks to up to run.threads threads:
// the first chunk writes straight after `out`, each other into its own text,
// appended in order, so the text is the same for any number of threads. `row_size` estimates the characters of one animal's rows, so that
// each text is allocated about once rather than grown by copies.
template <class AppendRows>
std::string with_rows(std::string out, const TraitRun& run, std::size_t row_size,
                      const AppendRows& append_rows)
{
    const std::size_t count = run.pedigree.size();
    out.reserve(out.size() + count * row_size);
    const std::size_t chunk = shell::chunk_for(count, run.threads);
    std::vector<std::string> texts(count / chunk + 1);
    shell::for_each_chunk(
        count, chunk,
        [&](std::size_t begin, std::size_t end, std::size_t) {
            std::string& text = begin == 0 ? out : texts[begin / chunk];
            if (begin > 0) text.reserve((end - begin) * row_size);
            for (std::size_t i = begin; i < end; ++i) append_rows(text, i);
        },
        run.threads);
    for (std::size_t k = 1; k < texts.size(); ++k) out += texts[k];
    return out;
}

}  // namespace

std::string records_table(const TraitRun& run)
{
    std::string header = "animal\tsire\tdam\tgeneration\trecord";
    for (const FixedEffect& effect : run.model.fixed) header += '\t' + effect.name;
    for (const std::string& name : run.model.traits) header += '\t' + name;
    header += '\n';
    const std::size_t row_size =
        (48 + 12 * run.model.fixed.size() + 20 * run.model.trait_count()) * run.simulated.records;
    return with_rows(std::move(header), run, row_size, [&](std::string& out, std::size_t i) {
        for (std::size_t r = 0; run.simulated.recorded[i] && r < run.simulated.records; ++r) {
            if (!run.simulated.has_row(i, r)) continue;
            append_identity(out, run.pedigree, i);
            append_cells(out, '\t', r + 1);
            append_fixed_levels(out, run, i);
            append_phenotypes(out, run, i, r, '\t', "");
            out += '\n';
        }
    });
}

std::string animals_table(const TraitRun& run)
{
    const std::size_t n = run.model.trait_count();
    const Simulated& simulated = run.simulated;
    const bool permanent = !run.model.permanent.empty();
    const bool maternal = !simulated.maternal.empty();
    const bool maternal_permanent = !simulated.maternal_permanent.empty();
    std::string header = "animal\tsire\tdam\tgeneration\tF\tmsv";
    const auto add_columns = [&](bool wanted, const char* prefix) {
        for (std::size_t t = 0; wanted && t < n; ++t) header += prefix + run.model.traits[t];
    };
    add_columns(true, "\ttbv_");
    add_columns(permanent, "\tpe_");
    add_columns(maternal, "\tmbv_");
    add_columns(maternal_permanent, "\tmpe_");
    for (std::size_t t = 0; t < n; ++t)
        if (run.model.is_threshold(t)) header += "\tliability_" + run.model.traits[t];
    header += '\n';
    const std::size_t row_size = 80 + 40 * n;
    return with_rows(std::move(header), run, row_size, [&](std::string& out, std::size_t i) {
        append_identity(out, run.pedigree, i);
        append_cells(out, '\t', run.relatedness.found.inbreeding[i], simulated.msv[i]);
        for (std::size_t t = 0; t < n; ++t) append_cells(out, '\t', simulated.value(i, t));
        for (std::size_t t = 0; permanent && t < n; ++t) {
            out += '\t';
            if (simulated.recorded[i]) append_number(out, simulated.permanent[i * n + t]);
        }
        for (std::size_t t = 0; maternal && t < n; ++t)
            append_cells(out, '\t', simulated.maternal[i * n + t]);
        for (std::size_t t = 0; maternal_permanent && t < n; ++t)
            append_cells(out, '\t', simulated.maternal_permanent[i * n + t]);
        for (std::size_t t = 0; t < n; ++t)
            if (run.model.is_threshold(t)) append_liability(out, run, i, t);
        out += '\n';
    });
}

std::string effects_table(const TraitRun& run)
{
    std::string out = "effect\tlevel";
    for (const std::string& name : run.model.traits) out += '\t' + name;
    out += '\n';
    const std::size_t n = run.model.trait_count();
    for (std::size_t k = 0; k < run.model.fixed.size(); ++k) {
        const FixedEffect& effect = run.model.fixed[k];
        const FixedLevels& levels = run.simulated.fixed[k];
        if (effect.kind == FixedEffect::Kind::covariate) {
            out += effect.name + "\tslope";
            for (const double slope : effect.slope) append_cells(out, '\t', slope);
            out += '\n';
        }
        for (std::size_t level = 0; level < levels.level_count(); ++level) {
            out += effect.name + '\t' + levels.labels[level];
            for (std::size_t t = 0; t < n; ++t)
                append_cells(out, '\t', levels.values[level * n + t]);
            out += '\n';
        }
    }
    return out;
}

std::string check_report(const TraitRun& run, const std::vector<CheckRow>& rows)
{
    std::size_t founders = 0;
    for (std::size_t i = 0; i < run.pedigree.size(); ++i)
        founders +=
            run.pedigree.sire[i] == pedigree::unknown && run.pedigree.dam[i] == pedigree::unknown;
    std::string out = summary_line("animals", number_text(run.pedigree.size()));
    out += summary_line("founders", number_text(founders) + " (" +
                                        number_text(run.pedigree.founders_added) +
                                        " added for parents without a row)");
    out += summary_line("records", records_summary(run));
    out += summary_line("seed", number_text(run.seed));
    out += model_summary(run.model);
    out += fixed_summary(run);
    out += summary_line("inbreeding", run.relatedness.method);
    return out + check_table(rows, run.model);
}

}  // namespace pedsim::traits
