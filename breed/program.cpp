#include "breed/program.h"

#include <Eigen/Cholesky>
#include <algorithm>
#include <cmath>
#include <string>
#include <toml++/toml.h>

#include "common/exit_status.h"
#include "common/failure.h"
#include "traits/refuser.h"
#include "traits/toml_number.h"

namespace pedsim::breed {

namespace {

constexpr std::string_view own_keys[] = {"generations", "base", "selection", "mating", "ages"};
constexpr std::string_view base_keys[] = {"males", "females"};
constexpr std::string_view selection_keys[] = {"criterion", "index", "sires", "dams", "recorded"};
constexpr std::string_view mating_keys[] = {"offspring", "design"};
constexpr std::string_view ages_keys[] = {"sire_generations", "dam_generations"};
// Trait keys whose effects the program does not simulate.
constexpr std::string_view unsupported_keys[] = {"fixed",           "maternal",
                                                 "direct_maternal", "maternal_permanent",
                                                 "threshold",       "recorded_generations"};

using traits::exact_number;
using traits::inexact_integer_advice;
using traits::Refuser;

std::size_t line_of(const toml::node& node) { return node.source().begin.line; }

template <std::size_t N>
std::string listed(const std::string_view (&keys)[N])
{
    std::string out;
    for (const std::string_view key : keys) out += (out.empty() ? "" : ", ") + std::string(key);
    return out;
}

// The table `name` of the file, its keys checked; nullptr when absent. An
// unknown key is shown cut to 40 bytes and printable, so that the message
// stays one short line whatever the file holds.
template <std::size_t N>
const toml::table* section(const toml::table& file, std::string_view name,
                           const std::string_view (&keys)[N], const Refuser& refuse)
{
    const toml::node* node = file.get(name);
    if (node == nullptr) return nullptr;
    const toml::table* table = node->as_table();
    if (table == nullptr)
        refuse(line_of(*node), name, "expected a table; write [" + std::string(name) + "]");
    for (const auto& [key, value] : *table)
        if (std::ranges::find(keys, key.str()) == std::end(keys))
            refuse(key.source().begin.line,
                   std::string(name) + "." + common::printable(key.str(), 40),
                   "unknown key; the keys of [" + std::string(name) + "] are " + listed(keys));
    return table;
}

// The table `name`, which must be there.
const toml::table& required_section(std::string_view name, const toml::table* table,
                                    const Refuser& refuse)
{
    if (table == nullptr) refuse(1, name, "missing; add a table [" + std::string(name) + "]");
    return *table;
}

// An integer from `least` to `most`; `fallback` when the key is absent and
// optional.
std::size_t count_of(const toml::table* table, std::string_view section_name, std::string_view key,
                     std::int64_t least, std::int64_t most, std::optional<std::size_t> fallback,
                     const Refuser& refuse)
{
    const std::string name = section_name.empty()
                                 ? std::string(key)
                                 : std::string(section_name) + "." + std::string(key);
    const toml::node* node = table == nullptr ? nullptr : table->get(key);
    if (node == nullptr) {
        if (fallback) return *fallback;
        refuse(table == nullptr ? 1 : line_of(*table), name,
               "missing; add " + std::string(key) + " = N");
    }
    if (!node->is_integer()) refuse(line_of(*node), name, "expected an integer; write e.g. 10");
    const std::int64_t value = node->as_integer()->get();
    if (value < least || value > most)
        refuse(line_of(*node), name,
               "expected an integer from " + std::to_string(least) + " to " + std::to_string(most));
    return static_cast<std::size_t>(value);
}

// One of `words`, as its position; `fallback` when absent.
template <std::size_t N>
std::size_t choice_of(const toml::table& table, std::string_view section_name, std::string_view key,
                      const std::string_view (&words)[N], std::optional<std::size_t> fallback,
                      const Refuser& refuse)
{
    const std::string name = std::string(section_name) + "." + std::string(key);
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        if (fallback) return *fallback;
        refuse(line_of(table), name, "missing; add " + std::string(key) + " = \"...\"");
    }
    const std::optional<std::string> text = node->value<std::string>();
    const auto found = node->is_string() ? std::ranges::find(words, *text) : std::end(words);
    if (found == std::end(words))
        refuse(line_of(*node), name, "expected one of " + listed(words) + ", in quotes");
    return static_cast<std::size_t>(found - std::begin(words));
}

constexpr std::string_view criteria[] = {"random", "phenotype", "tbv", "parent_average", "blup"};
constexpr std::string_view designs[] = {"random", "avoid_full_sibs", "avoid_half_sibs"};
constexpr std::string_view recorded_words[] = {"all", "females", "males"};

std::vector<double> index_of(const toml::table& selection, std::size_t traits,
                             const Refuser& refuse)
{
    const toml::node* node = selection.get("index");
    if (node == nullptr) {
        if (traits > 1)
            refuse(line_of(selection), "selection.index",
                   "missing; with several traits give one weight per trait, e.g. [1.0, 0.5]");
        return {1.0};
    }
    std::vector<double> weights;
    const auto add_weight = [&](const toml::node& weight) {
        const std::optional<double> exact = exact_number(weight);
        if (!exact) refuse(line_of(weight), "selection.index", inexact_integer_advice);
        weights.push_back(*exact);
    };
    const toml::array* array = node->as_array();
    if (traits == 1 && array == nullptr && node->is_number()) add_weight(*node);
    if (array != nullptr && array->size() == traits)
        for (const toml::node& element : *array) {
            if (!element.is_number())
                refuse(line_of(element), "selection.index", "expected numbers, e.g. [1.0]");
            add_weight(element);
        }
    if (weights.size() != traits)
        refuse(line_of(*node), "selection.index",
               "expected an array of " + std::to_string(traits) + " weights, one per trait");
    if (std::ranges::any_of(weights,
                            [](double w) { return !std::isfinite(w) || std::abs(w) > 1e100; }))
        refuse(line_of(*node), "selection.index", "expected finite weights within -1e100 .. 1e100");
    if (std::ranges::all_of(weights, [](double w) { return w == 0.0; }))
        refuse(line_of(*node), "selection.index",
               "every weight is 0, which ranks nothing; give some trait a weight");
    return weights;
}

void refuse_unsupported(const toml::table& file, const Refuser& refuse)
{
    for (const std::string_view key : unsupported_keys)
        if (const toml::node* node = file.get(key))
            refuse(line_of(*node), key,
                   "pedsim-breed does not simulate this part of a trait model; remove it, or "
                   "draw it with pedsim-traits on the pedigree pedsim-breed writes");
}

bool positive_definite(const traits::Covariance& covariance)
{
    const auto n = static_cast<Eigen::Index>(covariance.size);
    const Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>
        matrix(covariance.values.data(), n, n);
    const Eigen::LLT<Eigen::MatrixXd> llt(matrix);
    return llt.info() == Eigen::Success;
}

// An evaluation needs G, R and P invertible: a trait without additive or
// residual variance has no equations.
void check_evaluable(const toml::table& file, const BreedingProgram& program, const Refuser& refuse)
{
    const std::pair<const char*, const traits::Covariance*> matrices[] = {
        {"additive", &program.model.additive},
        {"residual", &program.model.residual},
        {"permanent", &program.model.permanent}};
    for (const auto& [key, covariance] : matrices)
        if (!covariance->empty() && !positive_definite(*covariance))
            refuse(line_of(*file.get(key)), key,
                   "the evaluation by BLUP needs a positive definite matrix (every variance above "
                   "0, no correlation of 1); correct it or choose another criterion");
}

// Narrows every trait's recorded_sex to the program's recorded sex.
void apply_recorded(const toml::table& selection, BreedingProgram& program, const Refuser& refuse)
{
    using traits::RecordedSex;
    if (program.recorded == Recorded::all) return;
    const RecordedSex wanted =
        program.recorded == Recorded::females ? RecordedSex::female : RecordedSex::male;
    for (std::size_t t = 0; t < program.model.trait_count(); ++t) {
        RecordedSex& sex = program.model.recorded_sex[t];
        if (sex != RecordedSex::all && sex != wanted)
            refuse(line_of(*selection.get("recorded")), "selection.recorded",
                   "trait " + common::quoted(program.model.traits[t]) +
                       " is recorded on the other sex only, so no animal would have its records; "
                       "make recorded_sex and recorded agree");
        sex = wanted;
    }
}

void check_criterion(const toml::table& file, const toml::table& selection,
                     const BreedingProgram& program, const Refuser& refuse)
{
    const bool both_sexes = std::ranges::all_of(
        program.model.recorded_sex, [](auto sex) { return sex == traits::RecordedSex::all; });
    if (program.criterion == Criterion::phenotype && !both_sexes)
        refuse(line_of(*selection.get("criterion")), "selection.criterion",
               "phenotype ranks candidates on their own records, and one sex has none; choose "
               "blup or parent_average for a sex-limited trait");
    if (program.evaluates()) check_evaluable(file, program, refuse);
}

void read_selection(const toml::table& file, BreedingProgram& program, const Refuser& refuse)
{
    const toml::table& selection =
        required_section("selection", section(file, "selection", selection_keys, refuse), refuse);
    program.criterion = static_cast<Criterion>(
        choice_of(selection, "selection", "criterion", criteria, {}, refuse));
    program.index = index_of(selection, program.model.trait_count(), refuse);
    program.sires = count_of(&selection, "selection", "sires", 1, 100'000'000, {}, refuse);
    program.dams = count_of(&selection, "selection", "dams", 1, 100'000'000, {}, refuse);
    program.recorded = static_cast<Recorded>(
        choice_of(selection, "selection", "recorded", recorded_words, 0, refuse));
    apply_recorded(selection, program, refuse);
    check_criterion(file, selection, program, refuse);
}

// The numbers of parents the base and each round's offspring can give.
void check_parent_numbers(const toml::table& file, const BreedingProgram& program,
                          const Refuser& refuse)
{
    const toml::table& selection = *file.get("selection")->as_table();
    const std::size_t expected = program.dams * program.offspring / 2;
    const auto check = [&](std::size_t chosen, std::size_t base, const char* key, const char* sex) {
        const std::size_t line = line_of(*selection.get(key));
        const std::string name = std::string("selection.") + key;
        if (chosen > base)
            refuse(line, name,
                   std::to_string(chosen) + " is more than the base's " + std::to_string(base) +
                       " " + sex + "; choose fewer or enlarge [base]");
        if (program.generations > 1 && chosen > expected)
            refuse(line, name,
                   std::to_string(chosen) + " is more than the " + std::to_string(expected) + " " +
                       sex +
                       " expected among each round's offspring (dams x offspring / 2); "
                       "choose fewer or raise mating.offspring");
    };
    check(program.sires, program.base_males, "sires", "males");
    check(program.dams, program.base_females, "dams", "females");
}

void check_design(const toml::table& file, const BreedingProgram& program, const Refuser& refuse)
{
    const toml::table& mating = *file.get("mating")->as_table();
    const bool one_family = program.sires == 1 && program.sire_generations == 1;
    const bool impossible = program.generations > 1 &&
                            ((program.design == MatingDesign::avoid_half_sibs && one_family) ||
                             (program.design == MatingDesign::avoid_full_sibs && one_family &&
                              program.dams == 1 && program.dam_generations == 1));
    if (impossible)
        refuse(line_of(*mating.get("design")), "mating.design",
               "with one sire (and one dam) every later sire and dam are sibs, so no mating meets "
               "the design; choose more parents or design = \"random\"");
}

}  // namespace

BreedingProgram read_program(std::string_view text, std::string_view file_name)
{
    const Refuser refuse(file_name);
    BreedingProgram program;
    program.model = traits::read_model(text, file_name, own_keys);
    // The text is valid TOML now: read_model parsed it.
    const toml::table file = toml::parse(text, file_name);
    refuse_unsupported(file, refuse);
    program.generations = count_of(&file, "", "generations", 0, 10'000, {}, refuse);
    const toml::table& base =
        required_section("base", section(file, "base", base_keys, refuse), refuse);
    program.base_males = count_of(&base, "base", "males", 1, 100'000'000, {}, refuse);
    program.base_females = count_of(&base, "base", "females", 1, 100'000'000, {}, refuse);
    const toml::table& mating =
        required_section("mating", section(file, "mating", mating_keys, refuse), refuse);
    program.offspring = count_of(&mating, "mating", "offspring", 1, 10'000, {}, refuse);
    program.design =
        static_cast<MatingDesign>(choice_of(mating, "mating", "design", designs, 0, refuse));
    const toml::table* ages = section(file, "ages", ages_keys, refuse);
    program.sire_generations = count_of(ages, "ages", "sire_generations", 1, 100, 1, refuse);
    program.dam_generations = count_of(ages, "ages", "dam_generations", 1, 100, 1, refuse);
    read_selection(file, program, refuse);
    check_parent_numbers(file, program, refuse);
    check_design(file, program, refuse);
    // Overflow-free: each factor is at most 1e8 or 1e4.
    if (program.animal_count() > most_animals)
        refuse(line_of(*file.get("generations")), "generations",
               "the program makes " + std::to_string(program.animal_count()) +
                   " animals, more than " + std::to_string(most_animals) +
                   "; run fewer generations or fewer offspring");
    return program;
}

}  // namespace pedsim::breed
