#include "traits/breeding_values.h"

#include <algorithm>
#include <cmath>

#include "relationship/inbreeding_by_paths.h"
#include "shell/parallel.h"
#include "traits/animal_draws.h"
#include "traits/recorded_generations.h"

namespace pedsim::traits {

namespace {

// out = scale * L z for the factor L of `covariance` and z the animal's
// deviates of `stream`.
void correlated_draw(const Covariance& covariance, double scale, std::uint64_t seed,
                     IdentifierHash hash, std::uint64_t stream, double* out)
{
    const std::size_t n = covariance.size;
    double deviates[64];
    std::vector<double> many;
    double* z = deviates;
    if (n > std::size(deviates)) {
        many.resize(n);
        z = many.data();
    }
    normal_deviates(seed, hash, stream, {z, n});
    for (std::size_t row = 0; row < n; ++row) {
        double sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum += covariance.factor[row * n + k] * z[k];
        out[row] = scale * sum;
    }
}

// The animal's Mendelian sampling terms (in breeding_value, and maternal
// with maternal effects, before its parents' mean is added): direct and
// maternal values come from one joint draw, so that they covary as the
// model's direct_maternal says.
void draw_mendelian_terms(const TraitModel& model, std::uint64_t seed, IdentifierHash hash,
                          std::size_t animal, Simulated& simulated)
{
    const std::size_t n = simulated.traits;
    const double scale = std::sqrt(simulated.msv[animal]);
    const auto stream = static_cast<std::uint64_t>(DrawStream::mendelian);
    if (!model.has_maternal()) {
        correlated_draw(model.additive, scale, seed, hash, stream,
                        &simulated.breeding_value[animal * n]);
        return;
    }
    std::vector<double> joint(2 * n);
    correlated_draw(model.joint, scale, seed, hash, stream, joint.data());
    std::copy_n(joint.begin(), n, &simulated.breeding_value[animal * n]);
    std::copy_n(joint.begin() + static_cast<std::ptrdiff_t>(n), n, &simulated.maternal[animal * n]);
}

bool sex_fits(RecordedSex wanted, pedigree::Sex sex)
{
    return wanted == RecordedSex::all ||
           (wanted == RecordedSex::female && sex == pedigree::Sex::female) ||
           (wanted == RecordedSex::male && sex == pedigree::Sex::male);
}

// Which records of the animal exist; the uniforms are drawn only when a
// fraction asks for them.
void choose_records(const TraitModel& model, std::uint64_t seed, IdentifierHash hash,
                    std::size_t animal, Simulated& simulated)
{
    const std::size_t n = simulated.traits, most = simulated.records;
    std::vector<double> uniforms;
    if (std::ranges::any_of(model.recorded_fraction, [](double f) { return f < 1.0; })) {
        uniforms.resize(most * n);
        uniform_deviates(seed, hash, static_cast<std::uint64_t>(DrawStream::record_kept), uniforms);
    }
    for (std::size_t r = 0; r < most; ++r)
        for (std::size_t t = 0; t < n; ++t)
            simulated.kept[(animal * most + r) * n + t] =
                r < model.records[t] && sex_fits(model.recorded_sex[t], simulated.sex[animal]) &&
                (uniforms.empty() || uniforms[r * n + t] <= model.recorded_fraction[t]);
}

// The terms an animal draws for itself: its Mendelian sampling terms, its
// maternal permanent effect, and when recorded pe and the residuals.
void draw_own_terms(const pedigree::Pedigree& pedigree, const TraitModel& model, std::uint64_t seed,
                    std::size_t animal, Simulated& simulated)
{
    const std::size_t n = simulated.traits;
    const IdentifierHash hash = identifier_hash(pedigree.names[animal]);
    draw_mendelian_terms(model, seed, hash, animal, simulated);
    if (!model.maternal_permanent.empty())
        correlated_draw(model.maternal_permanent, 1.0, seed, hash,
                        static_cast<std::uint64_t>(DrawStream::maternal_permanent),
                        &simulated.maternal_permanent[animal * n]);
    if (!simulated.recorded[animal]) return;
    choose_records(model, seed, hash, animal, simulated);
    if (!model.permanent.empty())
        correlated_draw(model.permanent, 1.0, seed, hash,
                        static_cast<std::uint64_t>(DrawStream::permanent),
                        &simulated.permanent[animal * n]);
    // The residuals of a record are drawn for every trait together, kept or
    // not, so that they covary as R says and each stream stays aligned.
    for (std::size_t r = 0; r < simulated.records; ++r)
        correlated_draw(model.residual, 1.0, seed, hash,
                        static_cast<std::uint64_t>(DrawStream::residual) + r,
                        &simulated.residual[(animal * simulated.records + r) * n]);
}

// Adds each animal's parents' mean to its Mendelian sampling term, parents
// first, so that a parent's value is complete when its offspring's is made.
void add_parent_means(const pedigree::Pedigree& pedigree, Simulated& simulated,
                      std::size_t first = 0)
{
    const std::size_t n = simulated.traits;
    for (std::size_t i = first; i < pedigree.size(); ++i) {
        const pedigree::AnimalIndex sire = pedigree.sire[i], dam = pedigree.dam[i];
        for (std::size_t t = 0; t < n; ++t) {
            const double a_sire = sire == pedigree::unknown
                                      ? 0.0
                                      : simulated.value(static_cast<std::size_t>(sire), t);
            const double a_dam =
                dam == pedigree::unknown ? 0.0 : simulated.value(static_cast<std::size_t>(dam), t);
            simulated.breeding_value[i * n + t] += 0.5 * (a_sire + a_dam);
        }
    }
}

// The same for the maternal values, which follow the same Mendelian rule.
void add_parent_maternal_means(const pedigree::Pedigree& pedigree, Simulated& simulated)
{
    const std::size_t n = simulated.traits;
    const auto of = [&](pedigree::AnimalIndex parent, std::size_t t) {
        return parent == pedigree::unknown
                   ? 0.0
                   : simulated.maternal[static_cast<std::size_t>(parent) * n + t];
    };
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        for (std::size_t t = 0; t < n; ++t)
            simulated.maternal[i * n + t] +=
                0.5 * (of(pedigree.sire[i], t) + of(pedigree.dam[i], t));
}

Simulated prepared(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                   const TraitModel& model, std::uint64_t seed)
{
    const std::size_t count = pedigree.size(), n = model.trait_count();
    Simulated simulated;
    simulated.traits = n;
    simulated.records = model.most_records_per_animal();
    simulated.msv.resize(count);
    simulated.recorded.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        simulated.msv[i] = relationship::mendelian_variance(pedigree, inbreeding, i);
        simulated.recorded[i] = in_recorded_generations(model, pedigree.generation[i]) ? 1 : 0;
    }
    simulated.sex = animal_sexes(pedigree);
    simulated.dam = pedigree.dam;
    simulated.fixed = realise_fixed_effects(pedigree, simulated.sex, inbreeding, model, seed);
    simulated.breeding_value.assign(count * n, 0.0);
    if (!model.permanent.empty()) simulated.permanent.assign(count * n, 0.0);
    if (model.has_maternal()) simulated.maternal.assign(count * n, 0.0);
    if (!model.maternal_permanent.empty()) simulated.maternal_permanent.assign(count * n, 0.0);
    simulated.residual.assign(count * simulated.records * n, 0.0);
    simulated.kept.assign(count * simulated.records * n, 0);
    return simulated;
}

}  // namespace

Simulated simulate(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                   const TraitModel& model, std::uint64_t seed, std::size_t threads)
{
    const std::size_t count = pedigree.size();
    Simulated simulated = prepared(pedigree, inbreeding, model, seed);
    // Each chunk draws for its own consecutive animals and writes only their
    // entries: an animal's draws depend on nothing but the seed and its name.
    shell::for_each_chunk(
        count, shell::chunk_for(count, threads),
        [&](std::size_t begin, std::size_t end, std::size_t) {
            for (std::size_t i = begin; i < end; ++i)
                draw_own_terms(pedigree, model, seed, i, simulated);
        },
        threads);
    add_parent_means(pedigree, simulated);
    if (model.has_maternal()) add_parent_maternal_means(pedigree, simulated);
    return simulated;
}

void simulate_added(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                    const TraitModel& model, std::uint64_t seed, std::size_t threads,
                    Simulated& simulated)
{
    const std::size_t first = simulated.msv.size(), count = pedigree.size(),
                      n = model.trait_count();
    if (first == 0) {
        simulated.traits = n;
        simulated.records = model.most_records_per_animal();
    }
    const std::size_t records = simulated.records;
    for (std::size_t i = first; i < count; ++i) {
        simulated.msv.push_back(relationship::mendelian_variance(pedigree, inbreeding, i));
        simulated.recorded.push_back(in_recorded_generations(model, pedigree.generation[i]) ? 1
                                                                                            : 0);
        simulated.sex.push_back(pedigree.sex[i]);
        simulated.dam.push_back(pedigree.dam[i]);
    }
    simulated.breeding_value.resize(count * n, 0.0);
    if (!model.permanent.empty()) simulated.permanent.resize(count * n, 0.0);
    if (!model.maternal_permanent.empty()) simulated.maternal_permanent.resize(count * n, 0.0);
    simulated.residual.resize(count * records * n, 0.0);
    simulated.kept.resize(count * records * n, 0);
    const std::size_t added = count - first;
    shell::for_each_chunk(
        added, shell::chunk_for(added, threads),
        [&](std::size_t begin, std::size_t end, std::size_t) {
            for (std::size_t i = first + begin; i < first + end; ++i)
                draw_own_terms(pedigree, model, seed, i, simulated);
        },
        threads);
    add_parent_means(pedigree, simulated, first);
}

bool Simulated::has_row(std::size_t animal, std::size_t record) const
{
    for (std::size_t t = 0; t < traits; ++t)
        if (has_record(animal, record, t)) return true;
    return false;
}

double phenotype(const Simulated& simulated, const TraitModel& model,
                 const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                 std::size_t trait)
{
    const std::size_t n = simulated.traits;
    double y = model.mean[trait] + simulated.value(animal, trait);
    if (!simulated.permanent.empty()) y += simulated.permanent[animal * n + trait];
    y += simulated.residual[(animal * simulated.records + record) * n + trait];
    y += model.inbreeding_depression[trait] * inbreeding[animal];
    if (!simulated.fixed.empty()) y += fixed_sum(simulated.fixed, model, animal, trait);
    const pedigree::AnimalIndex dam = simulated.dam[animal];
    if (dam == pedigree::unknown) return y;
    const auto d = static_cast<std::size_t>(dam);
    if (!simulated.maternal.empty()) y += simulated.maternal[d * n + trait];
    if (!simulated.maternal_permanent.empty()) y += simulated.maternal_permanent[d * n + trait];
    return y;
}

double record_value(const Simulated& simulated, const TraitModel& model,
                    const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                    std::size_t trait)
{
    const double liability = phenotype(simulated, model, inbreeding, animal, record, trait);
    if (!model.is_threshold(trait)) return liability;
    const std::vector<double>& thresholds = model.threshold[trait];
    return static_cast<double>(std::ranges::lower_bound(thresholds, liability) -
                               thresholds.begin());
}

}  // namespace pedsim::traits
