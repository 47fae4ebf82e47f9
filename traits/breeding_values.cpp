#include "breeding_values.h"

#include <cmath>

#include "animal_draws.h"
#include "recorded_generations.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/parallel.h"

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

// The terms an animal draws for itself: m (in breeding_value, before its
// parents' mean is added), pe and the residuals.
void draw_own_terms(const stats::Pedigree& pedigree, const TraitModel& model, std::uint64_t seed,
                    std::size_t animal, Simulated& simulated)
{
    const std::size_t n = simulated.traits;
    const IdentifierHash hash = identifier_hash(pedigree.names[animal]);
    correlated_draw(model.additive, std::sqrt(simulated.msv[animal]), seed, hash,
                    static_cast<std::uint64_t>(DrawStream::mendelian),
                    &simulated.breeding_value[animal * n]);
    if (!simulated.recorded[animal]) return;
    if (!model.permanent.empty())
        correlated_draw(model.permanent, 1.0, seed, hash,
                        static_cast<std::uint64_t>(DrawStream::permanent),
                        &simulated.permanent[animal * n]);
    for (std::size_t r = 0; r < model.records; ++r)
        correlated_draw(model.residual, 1.0, seed, hash,
                        static_cast<std::uint64_t>(DrawStream::residual) + r,
                        &simulated.residual[(animal * model.records + r) * n]);
}

// Adds each animal's parents' mean to its Mendelian sampling term, parents
// first, so that a parent's value is complete when its offspring's is made.
void add_parent_means(const stats::Pedigree& pedigree, Simulated& simulated)
{
    const std::size_t n = simulated.traits;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const stats::AnimalIndex sire = pedigree.sire[i], dam = pedigree.dam[i];
        for (std::size_t t = 0; t < n; ++t) {
            const double a_sire =
                sire == stats::unknown ? 0.0 : simulated.value(static_cast<std::size_t>(sire), t);
            const double a_dam =
                dam == stats::unknown ? 0.0 : simulated.value(static_cast<std::size_t>(dam), t);
            simulated.breeding_value[i * n + t] += 0.5 * (a_sire + a_dam);
        }
    }
}

}  // namespace

Simulated simulate(const stats::Pedigree& pedigree, const std::vector<double>& inbreeding,
                   const TraitModel& model, std::uint64_t seed, std::size_t threads)
{
    const std::size_t count = pedigree.size(), n = model.trait_count();
    Simulated simulated;
    simulated.traits = n;
    simulated.records = model.records;
    simulated.msv.resize(count);
    simulated.recorded.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        simulated.msv[i] = stats::mendelian_variance(pedigree, inbreeding, i);
        simulated.recorded[i] = in_recorded_generations(model, pedigree.generation[i]) ? 1 : 0;
    }
    simulated.breeding_value.assign(count * n, 0.0);
    if (!model.permanent.empty()) simulated.permanent.assign(count * n, 0.0);
    simulated.residual.assign(count * model.records * n, 0.0);
    // Each chunk draws for its own consecutive animals and writes only their
    // entries: an animal's draws depend on nothing but the seed and its name.
    stats::for_each_chunk(
        count, stats::chunk_for(count, threads),
        [&](std::size_t begin, std::size_t end, std::size_t) {
            for (std::size_t i = begin; i < end; ++i)
                draw_own_terms(pedigree, model, seed, i, simulated);
        },
        threads);
    add_parent_means(pedigree, simulated);
    return simulated;
}

double phenotype(const Simulated& simulated, const TraitModel& model,
                 const std::vector<double>& inbreeding, std::size_t animal, std::size_t record,
                 std::size_t trait)
{
    const std::size_t n = simulated.traits;
    double y = model.mean[trait] + simulated.value(animal, trait);
    if (!simulated.permanent.empty()) y += simulated.permanent[animal * n + trait];
    y += simulated.residual[(animal * simulated.records + record) * n + trait];
    return y + model.inbreeding_depression[trait] * inbreeding[animal];
}

}  // namespace pedsim::traits
