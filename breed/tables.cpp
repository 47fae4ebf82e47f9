#include "breed/tables.h"

#include <cmath>
#include <limits>

#include "pedigree/parent_names.h"
#include "shell/table_text.h"
#include "traits/fixed_effects.h"

namespace pedsim::breed {

namespace {

using shell::append_cells;
using shell::append_number;

constexpr double missing = std::numeric_limits<double>::quiet_NaN();

void append_identity(std::string& out, const Population& population, std::size_t i)
{
    pedigree::append_names(out, population.pedigree, i);
    append_cells(out, '\t', population.pedigree.generation[i]);
    out += '\t';
    out += traits::sex_label(population.pedigree.sex[i]);
}

const char* role_label(Role role)
{
    switch (role) {
    case Role::sire:
        return "sire";
    case Role::dam:
        return "dam";
    case Role::none:
        return "";
    }
    return "";
}

// Mean, sample variance and correlation over one generation's animals.
struct Moments {
    double count = 0, mean_x = 0, mean_y = 0, xx = 0, yy = 0, xy = 0;

    void add(double x, double y)
    {
        // Welford's updates keep the sums of squares exact enough at a
        // million animals.
        count += 1;
        const double dx = x - mean_x, dy = y - mean_y;
        mean_x += dx / count;
        mean_y += dy / count;
        xx += dx * (x - mean_x);
        yy += dy * (y - mean_y);
        xy += dx * (y - mean_y);
    }
    double variance_x() const { return count > 1 ? xx / (count - 1) : missing; }
    double correlation() const { return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : missing; }
};

struct GenerationFigures {
    double mean_f = 0;
    std::vector<Moments> values;  // per trait: x the true value, y the estimate
};

std::vector<GenerationFigures> generation_figures(const Population& population, std::size_t traits,
                                                  std::size_t generations)
{
    std::vector<GenerationFigures> figures(generations,
                                           GenerationFigures{0, std::vector<Moments>(traits)});
    std::vector<double> counts(generations, 0);
    for (std::size_t i = 0; i < population.size(); ++i) {
        const auto g = static_cast<std::size_t>(population.pedigree.generation[i]);
        figures[g].mean_f += population.inbreeding[i];
        counts[g] += 1;
        for (std::size_t t = 0; t < traits; ++t) {
            const double estimate = population.estimate[i * traits + t];
            figures[g].values[t].add(population.simulated.value(i, t),
                                     std::isnan(estimate) ? 0.0 : estimate);
        }
    }
    for (std::size_t g = 0; g < generations; ++g) figures[g].mean_f /= counts[g];
    return figures;
}

std::string summary_header(const BreedingProgram& program)
{
    std::string header =
        "generation\tcandidates_male\tcandidates_female\tsires\tdams\tmean_F\tmean_coancestry";
    for (const std::string& t : program.model.traits)
        header += "\tmean_tbv_" + t + "\tvar_tbv_" + t + "\tmean_ebv_" + t + "\taccuracy_" + t;
    header += "\tintensity_sires\tintensity_dams";
    if (predicted(program)) header += "\texpected_response\texpected_var_tbv";
    return header + '\n';
}

std::string criterion_name(Criterion criterion)
{
    constexpr const char* names[] = {"random", "phenotype", "tbv", "parent_average", "blup"};
    return names[static_cast<std::size_t>(criterion)];
}

std::string summary_lines(const BreedingRun& run, const BreedingProgram& program,
                          std::uint64_t seed)
{
    std::string out = "# animals: " + std::to_string(run.population.size()) + '\n';
    out += "# seed: " + std::to_string(seed) + '\n';
    out += "# generations: " + std::to_string(program.generations) + " after the base\n";
    out += "# criterion: " + criterion_name(program.criterion) + '\n';
    if (predicted(program))
        out += "# expected_response, expected_var_tbv: truncation selection on phenotype with "
               "Bulmer's reduction of the variance, from each round's proportions and parents' F\n";
    return out;
}

// The prediction for every round, from the realised proportions.
Prediction prediction_of(const BreedingRun& run, const BreedingProgram& program)
{
    std::vector<RoundOfSelection> rounds;
    for (std::size_t t = 0; t + 1 < run.rounds.size(); ++t)
        rounds.push_back(run.rounds[t].selection);
    const traits::TraitModel& model = program.model;
    const double records = static_cast<double>(model.records[0]);
    const double other = (model.permanent.empty() ? 0.0 : model.permanent.at(0, 0)) +
                         model.residual.at(0, 0) / records;
    return predict(model.additive.at(0, 0), other, rounds);
}

}  // namespace

bool predicted(const BreedingProgram& program)
{
    return program.criterion == Criterion::phenotype && program.model.trait_count() == 1 &&
           program.sire_generations == 1 && program.dam_generations == 1;
}

std::string pedigree_table(const Population& population)
{
    std::string out = "animal\tsire\tdam\tgeneration\tsex\n";
    out.reserve(population.size() * 32);
    for (std::size_t i = 0; i < population.size(); ++i) {
        append_identity(out, population, i);
        out += '\n';
    }
    return out;
}

std::string animals_table(const BreedingRun& run, const BreedingProgram& program)
{
    const Population& population = run.population;
    const std::size_t n = program.model.trait_count();
    const bool permanent = !program.model.permanent.empty();
    std::string out = "animal\tsire\tdam\tgeneration\tsex\tF\tmsv";
    for (const std::string& t : program.model.traits) {
        out += "\ttbv_" + t;
        if (program.evaluates()) out += "\tebv_" + t;
        if (permanent) out += "\tpe_" + t;
    }
    out += "\tindex\tselected\n";
    for (std::size_t i = 0; i < population.size(); ++i) {
        append_identity(out, population, i);
        append_cells(out, '\t', population.inbreeding[i], population.simulated.msv[i]);
        for (std::size_t t = 0; t < n; ++t) {
            append_cells(out, '\t', population.simulated.value(i, t));
            if (program.evaluates()) append_cells(out, '\t', population.estimate[i * n + t]);
            if (permanent) append_cells(out, '\t', population.simulated.permanent[i * n + t]);
        }
        append_cells(out, '\t', population.index[i]);
        out += '\t';
        out += role_label(population.role[i]);
        out += '\n';
    }
    return out;
}

std::string summary_table(const BreedingRun& run, const BreedingProgram& program,
                          std::uint64_t seed)
{
    const std::size_t n = program.model.trait_count(), generations = run.rounds.size();
    const auto figures = generation_figures(run.population, n, generations);
    const bool prediction_wanted = predicted(program);
    const Prediction prediction = prediction_wanted ? prediction_of(run, program) : Prediction{};
    std::string out = summary_lines(run, program, seed) + summary_header(program);
    for (std::size_t g = 0; g < generations; ++g) {
        const Round& round = run.rounds[g];
        append_number(out, g);
        append_cells(out, '\t', round.candidates_male, round.candidates_female, round.sires,
                     round.dams, figures[g].mean_f, run.mean_coancestry[g]);
        for (std::size_t t = 0; t < n; ++t) {
            const Moments& m = figures[g].values[t];
            const bool estimates = program.evaluates();
            append_cells(out, '\t', m.mean_x, m.variance_x(), estimates ? m.mean_y : missing,
                         estimates ? m.correlation() : missing);
        }
        const bool chose = g + 1 < generations;
        append_cells(out, '\t', chose ? round.intensity_sires : missing,
                     chose ? round.intensity_dams : missing);
        if (prediction_wanted)
            append_cells(out, '\t', chose ? prediction.response[g] : missing,
                         prediction.additive[g]);
        out += '\n';
    }
    return out;
}

}  // namespace pedsim::breed
