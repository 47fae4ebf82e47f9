#include "traits/fixed_effects.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "shell/table_text.h"
#include "traits/animal_draws.h"

namespace pedsim::traits {

namespace {

// The label of an animal without a value in a kept column: R's mark of a
// missing value, which the reader never takes for a value.
constexpr const char* no_value_label = "NA";

// One of `count` choices, 1 .. count, each with probability 1/count, from a
// uniform u in (0, 1]: ceil(u count).
std::size_t one_of(double u, std::size_t count)
{
    return static_cast<std::size_t>(std::ceil(u * static_cast<double>(count)));
}

std::string label_of(const FixedEffect& effect, const pedigree::Pedigree& pedigree,
                     const std::vector<pedigree::Sex>& sexes, std::size_t animal,
                     std::uint64_t seed, std::size_t index, const pedigree::KeptColumn* kept)
{
    if (kept != nullptr)
        return kept->level[animal] == pedigree::no_level ? no_value_label
                                                         : kept->labels[kept->level[animal]];
    const std::string generation = std::to_string(pedigree.generation[animal]);
    if (effect.kind == FixedEffect::Kind::column)
        return effect.source == "sex" ? sex_label(sexes[animal]) : generation;
    double u = 0;
    uniform_deviates(seed, identifier_hash(pedigree.names[animal]),
                     static_cast<std::uint64_t>(DrawStream::group) + index, {&u, 1});
    return generation + ':' + std::to_string(one_of(u, effect.groups));
}

// The value of a level: given, else drawn from its own counter.
void level_value(const FixedEffect& effect, const std::string& label, std::size_t n,
                 std::uint64_t seed, double* out)
{
    const auto given = std::ranges::find(effect.levels, label);
    if (given != effect.levels.end()) {
        const auto k = static_cast<std::size_t>(given - effect.levels.begin());
        for (std::size_t t = 0; t < n; ++t) out[t] = effect.values[k * n + t];
        return;
    }
    if (effect.variance.empty()) {
        for (std::size_t t = 0; t < n; ++t) out[t] = 0.0;
        return;
    }
    std::vector<double> z(n);
    normal_deviates(seed, identifier_hash(effect.name + '/' + label),
                    static_cast<std::uint64_t>(DrawStream::fixed_level), z);
    for (std::size_t row = 0; row < n; ++row) {
        double sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum += effect.variance.factor[row * n + k] * z[k];
        out[row] = sum;
    }
}

// The animal's age at recording, drawn once per animal from its own stream
// under the effect's name: every whole age of the range equally likely.
double age_at_recording(const FixedEffect& effect, const std::string& animal, std::uint64_t seed)
{
    double u = 0;
    uniform_deviates(seed, identifier_hash(effect.name + '/' + animal),
                     static_cast<std::uint64_t>(DrawStream::age), {&u, 1});
    const auto ages = static_cast<std::size_t>(effect.age.to - effect.age.from) + 1;
    return static_cast<double>(effect.age.from + static_cast<std::int64_t>(one_of(u, ages)) - 1);
}

// An animal's value of a covariate.
double covariate_of(const FixedEffect& effect, const pedigree::Pedigree& pedigree,
                    const std::vector<double>& inbreeding, std::size_t animal, std::uint64_t seed)
{
    if (effect.source == "F") return inbreeding[animal];
    if (effect.source == "age") return age_at_recording(effect, pedigree.names[animal], seed);
    return static_cast<double>(pedigree.generation[animal]);
}

// `kept` is the pedigree column the effect reads, if it reads one.
FixedLevels realise(const FixedEffect& effect, std::size_t index,
                    const pedigree::Pedigree& pedigree, const std::vector<pedigree::Sex>& sexes,
                    const std::vector<double>& inbreeding, std::size_t n, std::uint64_t seed,
                    const pedigree::KeptColumn* kept)
{
    FixedLevels realised;
    if (effect.kind == FixedEffect::Kind::covariate) {
        for (std::size_t i = 0; i < pedigree.size(); ++i)
            realised.covariate.push_back(covariate_of(effect, pedigree, inbreeding, i, seed));
        realised.whole = effect.source == "age";
        return realised;
    }
    std::map<std::string, std::uint32_t> numbers;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const std::string label = label_of(effect, pedigree, sexes, i, seed, index, kept);
        const auto [place, added] =
            numbers.try_emplace(label, static_cast<std::uint32_t>(realised.labels.size()));
        if (added) {
            realised.labels.push_back(label);
            realised.values.resize(realised.values.size() + n);
            level_value(effect, label, n, seed, &realised.values[realised.values.size() - n]);
        }
        realised.level.push_back(place->second);
    }
    return realised;
}

}  // namespace

std::vector<pedigree::Sex> animal_sexes(const pedigree::Pedigree& pedigree)
{
    std::vector<pedigree::Sex> sexes(pedigree.size(), pedigree::Sex::unrecorded);
    std::vector<std::uint8_t> use(pedigree.size(), 0);  // bit 1: sire, bit 2: dam
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (pedigree.sire[i] != pedigree::unknown)
            use[static_cast<std::size_t>(pedigree.sire[i])] |= 1;
        if (pedigree.dam[i] != pedigree::unknown)
            use[static_cast<std::size_t>(pedigree.dam[i])] |= 2;
    }
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (!pedigree.sex.empty() && pedigree.sex[i] != pedigree::Sex::unrecorded)
            sexes[i] = pedigree.sex[i];
        else if (use[i] == 1)
            sexes[i] = pedigree::Sex::male;
        else if (use[i] == 2)
            sexes[i] = pedigree::Sex::female;
    }
    return sexes;
}

const char* sex_label(pedigree::Sex sex)
{
    return sex == pedigree::Sex::male ? "M" : sex == pedigree::Sex::female ? "F" : "0";
}

std::vector<FixedLevels> realise_fixed_effects(const pedigree::Pedigree& pedigree,
                                               const std::vector<pedigree::Sex>& sexes,
                                               const std::vector<double>& inbreeding,
                                               const TraitModel& model, std::uint64_t seed)
{
    std::vector<FixedLevels> fixed;
    std::size_t columns_read = 0;  // the kept columns, one per effect that reads one
    for (std::size_t k = 0; k < model.fixed.size(); ++k) {
        const pedigree::KeptColumn* kept =
            model.fixed[k].reads_pedigree_column() ? &pedigree.kept.at(columns_read++) : nullptr;
        fixed.push_back(realise(model.fixed[k], k, pedigree, sexes, inbreeding, model.trait_count(),
                                seed, kept));
    }
    return fixed;
}

void append_covariate(std::string& out, const FixedLevels& effect, std::size_t animal)
{
    if (effect.whole)
        shell::append_number(out, static_cast<std::int64_t>(effect.covariate[animal]));
    else
        shell::append_number(out, effect.covariate[animal]);
}

double fixed_sum(const std::vector<FixedLevels>& fixed, const TraitModel& model, std::size_t animal,
                 std::size_t trait)
{
    const std::size_t n = model.trait_count();
    double sum = 0;
    for (std::size_t k = 0; k < fixed.size(); ++k) {
        if (model.fixed[k].kind == FixedEffect::Kind::covariate)
            sum += model.fixed[k].slope[trait] * fixed[k].covariate[animal];
        else
            sum += fixed[k].values[fixed[k].level[animal] * n + trait];
    }
    return sum;
}

}  // namespace pedsim::traits
