#include "traits/check_table.h"

#include <cmath>
#include <limits>
#include <span>

#include "shell/table_text.h"

namespace pedsim::traits {

namespace {

using shell::append_cells;
using shell::append_number;

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

struct Moments {
    double mean = undefined, variance = undefined;
};

// Mean and variance (divided by the count) of the values, two passes.
template <class Value>
Moments moments(std::size_t count, const Value& value)
{
    if (count == 0) return {};
    double sum = 0;
    for (std::size_t k = 0; k < count; ++k) sum += value(k);
    const double mean = sum / static_cast<double>(count);
    double squares = 0;
    for (std::size_t k = 0; k < count; ++k) squares += (value(k) - mean) * (value(k) - mean);
    return {mean, squares / static_cast<double>(count)};
}

double mean_inbreeding(std::span<const pedigree::AnimalIndex> members,
                       const std::vector<double>& inbreeding)
{
    double sum = 0;
    for (const pedigree::AnimalIndex i : members) sum += inbreeding[static_cast<std::size_t>(i)];
    return sum / static_cast<double>(members.size());
}

// The records of a generation, as (animal, record) pairs in order.
std::vector<std::pair<std::size_t, std::size_t>>
records_of(std::span<const pedigree::AnimalIndex> members, const Simulated& simulated)
{
    std::vector<std::pair<std::size_t, std::size_t>> records;
    for (const pedigree::AnimalIndex i : members)
        if (simulated.recorded[static_cast<std::size_t>(i)])
            for (std::size_t r = 0; r < simulated.records; ++r)
                if (simulated.has_row(static_cast<std::size_t>(i), r))
                    records.emplace_back(static_cast<std::size_t>(i), r);
    return records;
}

// Those of the records that trait t has.
std::vector<std::pair<std::size_t, std::size_t>>
records_of_trait(const std::vector<std::pair<std::size_t, std::size_t>>& records,
                 const Simulated& simulated, std::size_t t)
{
    std::vector<std::pair<std::size_t, std::size_t>> of_trait;
    for (const auto& [animal, record] : records)
        if (simulated.has_record(animal, record, t)) of_trait.emplace_back(animal, record);
    return of_trait;
}

// The share of the records of threshold trait t above its first threshold,
// and its expectation given each record's liability less its residual:
// the mean of 1 - Phi((threshold - (liability - e)) / sqrt(R_tt)).
void add_incidence(const std::vector<std::pair<std::size_t, std::size_t>>& records,
                   const TraitModel& model, const Simulated& simulated,
                   const std::vector<double>& inbreeding, std::size_t t, TraitCheck& check)
{
    if (records.empty()) return;
    const double first = model.threshold[t].front(), sd = std::sqrt(model.residual.at(t, t));
    double above = 0, expected = 0;
    for (const auto& [animal, record] : records) {
        const double liability = phenotype(simulated, model, inbreeding, animal, record, t);
        const double residual =
            simulated.residual[(animal * simulated.records + record) * simulated.traits + t];
        above += liability > first;
        const double systematic = liability - residual;
        expected += sd > 0 ? 0.5 * std::erfc((first - systematic) / sd / std::sqrt(2.0))
                           : (systematic > first ? 1.0 : 0.0);
    }
    check.incidence = above / static_cast<double>(records.size());
    check.expected_incidence = expected / static_cast<double>(records.size());
}

TraitCheck trait_check(std::span<const pedigree::AnimalIndex> members,
                       const std::vector<std::pair<std::size_t, std::size_t>>& all_records,
                       double expected_fraction, const TraitModel& model,
                       const Simulated& simulated, const std::vector<double>& inbreeding,
                       std::size_t t)
{
    const auto records = records_of_trait(all_records, simulated, t);
    const Moments tbv = moments(members.size(), [&](std::size_t k) {
        return simulated.value(static_cast<std::size_t>(members[k]), t);
    });
    const Moments recorded_tbv = moments(
        records.size(), [&](std::size_t k) { return simulated.value(records[k].first, t); });
    const Moments y = moments(records.size(), [&](std::size_t k) {
        return phenotype(simulated, model, inbreeding, records[k].first, records[k].second, t);
    });
    // Phenotypes that do not vary (a mean that swamps the effects, or one
    // record) leave h2 undefined, not infinite.
    const double heritability = y.variance > 0 ? recorded_tbv.variance / y.variance : undefined;
    TraitCheck check{tbv.mean, tbv.variance, model.additive.at(t, t) * expected_fraction,
                     y.variance, heritability};
    if (model.has_maternal()) {
        check.var_mbv =
            moments(members.size(), [&](std::size_t k) {
                return simulated
                    .maternal[static_cast<std::size_t>(members[k]) * model.trait_count() + t];
            }).variance;
        check.expected_var_mbv = model.maternal.at(t, t) * expected_fraction;
    }
    if (model.is_threshold(t)) add_incidence(records, model, simulated, inbreeding, t, check);
    return check;
}

}  // namespace

std::vector<CheckRow> check_rows(const PedigreeRelatedness& relatedness, const TraitModel& model,
                                 const Simulated& simulated)
{
    const std::vector<double>& inbreeding = relatedness.found.inbreeding;
    std::vector<CheckRow> rows;
    for (std::size_t g = 0; g < relatedness.groups.size(); ++g) {
        const std::span<const pedigree::AnimalIndex> members = relatedness.groups.members(g);
        const auto records = records_of(members, simulated);
        const double expected_fraction =
            1.0 + mean_inbreeding(members, inbreeding) - 2.0 * relatedness.found.mean_coancestry[g];
        CheckRow row{relatedness.groups.generation[g], members.size(), records.size(), {}};
        for (std::size_t t = 0; t < model.trait_count(); ++t)
            row.traits.push_back(
                trait_check(members, records, expected_fraction, model, simulated, inbreeding, t));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string check_table(const std::vector<CheckRow>& rows, const TraitModel& model)
{
    std::string out = "generation\tanimals\trecords";
    for (std::size_t t = 0; t < model.trait_count(); ++t) {
        for (const char* column :
             {"mean_tbv_", "var_tbv_", "expected_var_tbv_", "var_phenotype_", "h2_"})
            out += '\t' + std::string(column) + model.traits[t];
        for (const char* column : {"var_mbv_", "expected_var_mbv_"})
            if (model.has_maternal()) out += '\t' + std::string(column) + model.traits[t];
        for (const char* column : {"incidence_", "expected_incidence_"})
            if (model.is_threshold(t)) out += '\t' + std::string(column) + model.traits[t];
    }
    out += '\n';
    for (const CheckRow& row : rows) {
        append_number(out, row.generation);
        append_cells(out, '\t', row.animals, row.records);
        for (std::size_t t = 0; t < row.traits.size(); ++t) {
            const TraitCheck& c = row.traits[t];
            append_cells(out, '\t', c.mean_tbv, c.var_tbv, c.expected_var_tbv, c.var_phenotype,
                         c.heritability);
            if (model.has_maternal()) append_cells(out, '\t', c.var_mbv, c.expected_var_mbv);
            if (model.is_threshold(t)) append_cells(out, '\t', c.incidence, c.expected_incidence);
        }
        out += '\n';
    }
    return out;
}

}  // namespace pedsim::traits
