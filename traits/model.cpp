#include "traits/model.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <toml++/toml.h>

#include "common/exit_status.h"
#include "common/failure.h"
#include "traits/refuser.h"
#include "traits/toml_nesting.h"
#include "traits/toml_number.h"

namespace pedsim::traits {

namespace {

constexpr std::string_view known_keys[] = {"seed",
                                           "traits",
                                           "mean",
                                           "additive",
                                           "residual",
                                           "permanent",
                                           "records",
                                           "inbreeding_depression",
                                           "recorded_generations",
                                           "recorded_sex",
                                           "recorded_fraction",
                                           "fixed",
                                           "maternal",
                                           "direct_maternal",
                                           "maternal_permanent",
                                           "threshold"};

constexpr std::string_view fixed_keys[] = {"name",     "column", "groups", "covariate",
                                           "variance", "values", "slope",  "age"};

std::size_t line_of(const toml::node& node) { return node.source().begin.line; }

// The magnitudes that keep every record, sum of squares and ratio of the
// check table finite: a record adds at most a mean, three effects of
// standard deviation at most 1e50 and the inbreeding depression, and its
// square and the sum of billions of squares stay far below 1e308; a variance
// of at least 1e-100 keeps the squares of its deviations (1e-100 z^2) clear
// of the denormal numbers, where h2 would come out infinite.
constexpr double largest_value = 1e100;
constexpr double smallest_variance = 1e-100;

double number(const toml::node& node, std::string_view key, const Refuser& refuse)
{
    if (!node.is_number()) refuse(line_of(node), key, "expected a number; write e.g. 1.5");
    const std::optional<double> exact = exact_number(node);
    if (!exact) refuse(line_of(node), key, inexact_integer_advice);
    const double value = *exact;
    if (!std::isfinite(value)) refuse(line_of(node), key, "expected a finite number");
    if (std::abs(value) > largest_value)
        refuse(line_of(node), key,
               "a number beyond -1e100 .. 1e100 makes the records or their sums of squares "
               "infinite; rescale the trait");
    return value;
}

// A variance whose deviations have finite, non-zero squares: 0 or at least
// smallest_variance.
void check_variance_size(double variance, std::size_t trait, std::size_t line, std::string_view key,
                         const Refuser& refuse)
{
    if (variance > 0 && variance < smallest_variance)
        refuse(line, key,
               "the variance of trait " + std::to_string(trait + 1) +
                   " is below 1e-100, where h2 and the check table's variances are not finite; "
                   "rescale the trait or write 0");
}

std::int64_t integer(const toml::node& node, std::string_view key, const Refuser& refuse)
{
    if (!node.is_integer()) refuse(line_of(node), key, "expected an integer; write e.g. 3");
    return node.as_integer()->get();
}

// A vector of n numbers; with one trait a plain number too.
std::vector<double> vector_of(const toml::node& node, std::size_t n, std::string_view key,
                              const Refuser& refuse)
{
    if (n == 1 && !node.is_array()) return {number(node, key, refuse)};
    const toml::array* array = node.as_array();
    if (array == nullptr || array->size() != n)
        refuse(line_of(node), key,
               "expected an array of " + std::to_string(n) + " numbers, one per trait");
    std::vector<double> values;
    for (const toml::node& element : *array) values.push_back(number(element, key, refuse));
    return values;
}

// Refuses a negative variance, an asymmetry or a negative direction of the
// matrix `values` (n x n), `matrix_name` naming it in the last message.
void check_covariance(const std::vector<double>& values, std::size_t n, std::size_t line,
                      std::string_view key, std::string_view matrix_name, const Refuser& refuse)
{
    double largest = 0;
    for (std::size_t t = 0; t < n; ++t) {
        if (values[t * n + t] < 0)
            refuse(line, key,
                   "the variance of trait " + std::to_string(t + 1) +
                       " is negative; variances are at least 0");
        check_variance_size(values[t * n + t], t, line, key, refuse);
        largest = std::max(largest, values[t * n + t]);
        for (std::size_t u = 0; u < t; ++u)
            if (values[t * n + u] != values[u * n + t])
                refuse(line, key,
                       "not symmetric: row " + std::to_string(t + 1) + ", column " +
                           std::to_string(u + 1) + " differs from row " + std::to_string(u + 1) +
                           ", column " + std::to_string(t + 1) + "; write the same covariance");
    }
    const Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>
        matrix(values.data(), static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(matrix, Eigen::EigenvaluesOnly);
    // Rounding in the eigenvalues of a singular matrix leaves them a few
    // units in the last place below 0; anything beyond that is a real
    // negative direction.
    if (solver.info() != Eigen::Success || solver.eigenvalues().minCoeff() < -1e-10 * largest)
        refuse(line, key,
               (matrix_name.empty() ? std::string() : std::string(matrix_name) + ": ") +
                   "not positive semi-definite (a correlation beyond -1 .. 1, or an "
                   "inconsistent set); correct the covariances");
}

// An n x n covariance matrix; with one trait a plain number too.
Covariance covariance_of(const toml::node& node, std::size_t n, std::string_view key,
                         const Refuser& refuse)
{
    std::vector<double> values;
    if (n == 1 && !node.is_array()) {
        values.push_back(number(node, key, refuse));
    } else {
        const toml::array* rows = node.as_array();
        if (rows == nullptr || rows->size() != n)
            refuse(line_of(node), key,
                   "expected " + std::to_string(n) + " rows of " + std::to_string(n) +
                       " numbers, one row and column per trait");
        for (const toml::node& row : *rows) {
            const toml::array* cells = row.as_array();
            if (cells == nullptr || cells->size() != n)
                refuse(line_of(row), key,
                       "expected each row to be an array of " + std::to_string(n) + " numbers");
            for (const toml::node& cell : *cells) values.push_back(number(cell, key, refuse));
        }
    }
    check_covariance(values, n, line_of(node), key, "", refuse);
    Covariance covariance{n, values, covariance_factor(values, n)};
    return covariance;
}

// Most bytes of a trait name.
constexpr std::size_t longest_trait_name = 64;

// A trait name names columns (weight, mean_tbv_weight) of tab- and
// blank-separated tables that R, pandas and the evaluation programs read: 1
// to 64 ASCII letters, digits, '_', '.' and '-', which no reader splits,
// quotes or mangles.
bool usable_column_name(std::string_view name)
{
    const auto usable = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '.' || c == '-';
    };
    return !name.empty() && name.size() <= longest_trait_name && std::ranges::all_of(name, usable);
}

std::vector<std::string> trait_names(const toml::node& node, const Refuser& refuse)
{
    const toml::array* array = node.as_array();
    if (array == nullptr || array->empty())
        refuse(line_of(node), "traits", "expected an array of names, e.g. [\"weight\"]");
    std::vector<std::string> names;
    for (const toml::node& element : *array) {
        if (!element.is_string())
            refuse(line_of(element), "traits", "expected names in quotes, e.g. [\"weight\"]");
        const std::string name = element.value<std::string>().value();
        if (!usable_column_name(name))
            refuse(line_of(element), "traits",
                   common::quoted(name) + " cannot name a column; a trait name is 1 to " +
                       std::to_string(longest_trait_name) +
                       " ASCII letters, digits, '_', '.' or '-'");
        if (std::ranges::find(names, name) != names.end())
            refuse(line_of(element), "traits", common::quoted(name) + " is named twice");
        names.push_back(name);
    }
    return names;
}

const toml::node& required(const toml::table& table, std::string_view key, const Refuser& refuse)
{
    const toml::node* node = table.get(key);
    if (node == nullptr) refuse(1, key, "missing; add the key " + std::string(key) + " = ...");
    return *node;
}

std::size_t record_count(const toml::node& node, const Refuser& refuse)
{
    const std::int64_t records = integer(node, "records", refuse);
    if (records < 1 || records > most_records)
        refuse(line_of(node), "records",
               "expected 1 to " + std::to_string(most_records) + " records per animal");
    return static_cast<std::size_t>(records);
}

// One count for every trait, or an array of one per trait.
std::vector<std::size_t> record_counts(const toml::node& node, std::size_t n, const Refuser& refuse)
{
    if (!node.is_array()) return std::vector<std::size_t>(n, record_count(node, refuse));
    const toml::array& array = *node.as_array();
    if (array.size() != n)
        refuse(line_of(node), "records",
               "expected a number, or an array of " + std::to_string(n) + ", one per trait");
    std::vector<std::size_t> counts;
    for (const toml::node& element : array) counts.push_back(record_count(element, refuse));
    return counts;
}

RecordedSex recorded_sex(const toml::node& node, const Refuser& refuse)
{
    const std::optional<std::string> text = node.value<std::string>();
    if (node.is_string() && *text == "all") return RecordedSex::all;
    if (node.is_string() && *text == "F") return RecordedSex::female;
    if (node.is_string() && *text == "M") return RecordedSex::male;
    refuse(line_of(node), "recorded_sex", "expected \"all\", \"F\" or \"M\"");
}

// A value for every trait: the node itself with one trait, else an array
// of one per trait.
template <class Value, class Read>
std::vector<Value> per_trait(const toml::node& node, std::size_t n, std::string_view key,
                             const Refuser& refuse, const Read& read)
{
    if (n == 1 && !node.is_array()) return {read(node)};
    const toml::array* array = node.as_array();
    if (array == nullptr || array->size() != n)
        refuse(line_of(node), key,
               "expected an array of " + std::to_string(n) + " values, one per trait");
    std::vector<Value> values;
    for (const toml::node& element : *array) values.push_back(read(element));
    return values;
}

void read_record_choice(const toml::table& table, TraitModel& model, const Refuser& refuse)
{
    const std::size_t n = model.trait_count();
    model.recorded_sex.assign(n, RecordedSex::all);
    if (const toml::node* node = table.get("recorded_sex"))
        model.recorded_sex = per_trait<RecordedSex>(
            *node, n, "recorded_sex", refuse,
            [&](const toml::node& element) { return recorded_sex(element, refuse); });
    model.recorded_fraction.assign(n, 1.0);
    if (const toml::node* node = table.get("recorded_fraction"))
        model.recorded_fraction = per_trait<double>(
            *node, n, "recorded_fraction", refuse, [&](const toml::node& element) {
                const double fraction = number(element, "recorded_fraction", refuse);
                if (fraction < 0 || fraction > 1)
                    refuse(line_of(element), "recorded_fraction",
                           "expected a fraction from 0 to 1");
                return fraction;
            });
}

std::vector<double> thresholds_of(const toml::node& node, const Refuser& refuse)
{
    const toml::array* array = node.as_array();
    if (array == nullptr)
        refuse(line_of(node), "threshold",
               "expected a list of thresholds per trait, [] for a continuous trait");
    std::vector<double> thresholds;
    for (const toml::node& element : *array) {
        thresholds.push_back(number(element, "threshold", refuse));
        if (thresholds.size() > 1 && thresholds.back() <= thresholds[thresholds.size() - 2])
            refuse(line_of(element), "threshold",
                   "the thresholds of a trait must ascend; write them smallest first");
    }
    return thresholds;
}

void read_thresholds(const toml::table& table, TraitModel& model, const Refuser& refuse)
{
    const std::size_t n = model.trait_count();
    model.threshold.assign(n, {});
    const toml::node* node = table.get("threshold");
    if (node == nullptr) return;
    const toml::array* lists = node->as_array();
    // With one trait, a plain list of numbers is that trait's.
    if (n == 1 && lists != nullptr && (lists->empty() || !lists->get(0)->is_array())) {
        model.threshold[0] = thresholds_of(*node, refuse);
        return;
    }
    if (lists == nullptr || lists->size() != n)
        refuse(line_of(*node), "threshold",
               "expected " + std::to_string(n) + " lists, one per trait ([] when continuous)");
    for (std::size_t t = 0; t < n; ++t) model.threshold[t] = thresholds_of(*lists->get(t), refuse);
}

// The joint matrix of the direct and maternal additive values, checked as a
// whole: each part may be valid while their covariances are not.
Covariance joint_matrix(const TraitModel& model, std::size_t line, const Refuser& refuse)
{
    const std::size_t n = model.trait_count(), size = 2 * n;
    std::vector<double> values(size * size);
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t c = 0; c < n; ++c) {
            values[r * size + c] = model.additive.at(r, c);
            values[(n + r) * size + n + c] = model.maternal.at(r, c);
            values[r * size + n + c] = model.direct_maternal[r * n + c];
            values[(n + c) * size + r] = model.direct_maternal[r * n + c];
        }
    check_covariance(values, size, line, "maternal",
                     "the joint matrix of additive, direct_maternal and maternal", refuse);
    return Covariance{size, values, covariance_factor(values, size)};
}

// The n x n matrix of direct_maternal: not symmetric, any sign.
std::vector<double> cross_covariances(const toml::node& node, std::size_t n, const Refuser& refuse)
{
    if (n == 1 && !node.is_array()) return {number(node, "direct_maternal", refuse)};
    const toml::array* rows = node.as_array();
    if (rows == nullptr || rows->size() != n)
        refuse(line_of(node), "direct_maternal",
               "expected " + std::to_string(n) + " rows of " + std::to_string(n) +
                   " numbers: row t, column u the covariance of direct t and maternal u");
    std::vector<double> values;
    for (const toml::node& row : *rows) {
        const std::vector<double> cells = vector_of(row, n, "direct_maternal", refuse);
        values.insert(values.end(), cells.begin(), cells.end());
    }
    return values;
}

void read_maternal(const toml::table& table, TraitModel& model, const Refuser& refuse)
{
    const std::size_t n = model.trait_count();
    if (const toml::node* node = table.get("maternal_permanent"))
        model.maternal_permanent = covariance_of(*node, n, "maternal_permanent", refuse);
    const toml::node* maternal = table.get("maternal");
    const toml::node* cross = table.get("direct_maternal");
    if (maternal == nullptr && cross != nullptr)
        refuse(line_of(*cross), "direct_maternal", "given without maternal; add maternal = ...");
    if (maternal == nullptr) return;
    model.maternal = covariance_of(*maternal, n, "maternal", refuse);
    model.direct_maternal.assign(n * n, 0.0);
    if (cross != nullptr) model.direct_maternal = cross_covariances(*cross, n, refuse);
    model.joint = joint_matrix(model, line_of(*maternal), refuse);
}

std::string text_of(const toml::node& node, std::string_view key, const Refuser& refuse)
{
    const std::optional<std::string> text = node.value<std::string>();
    if (!node.is_string() || text->empty() || text->find_first_of(" \t\r\n") != std::string::npos)
        refuse(line_of(node), key, "expected a name without blanks, in quotes");
    return *text;
}

// The given values of the levels of a column effect: level = value, or an
// array of one value per trait.
void read_level_values(const toml::node& node, std::size_t n, FixedEffect& effect,
                       const Refuser& refuse)
{
    const toml::table* levels = node.as_table();
    if (levels == nullptr)
        refuse(line_of(node), "fixed.values",
               "expected a table of levels, e.g. values = { M = 20.0, F = 0.0 }");
    for (const auto& [level, value] : *levels) {
        effect.levels.emplace_back(level.str());
        const std::vector<double> row = vector_of(value, n, "fixed.values", refuse);
        effect.values.insert(effect.values.end(), row.begin(), row.end());
    }
}

// The column of a column effect: "sex", "generation", a header name of the
// pedigree, or a column number from 1 (whether the pedigree has it is known
// once it is read).
void read_column(const toml::node& node, FixedEffect& effect, const Refuser& refuse)
{
    if (node.is_integer()) {
        const std::int64_t number = node.as_integer()->get();
        if (number < 1 || number > 1000)
            refuse(line_of(node), "fixed.column",
                   "a column number is 1 to 1000, counted from 1 over the fields of a row");
        effect.column_number = static_cast<std::size_t>(number);
        effect.source = std::to_string(number);
        return;
    }
    const std::optional<std::string> name = node.value<std::string>();
    if (!node.is_string() || name->empty())
        refuse(line_of(node), "fixed.column",
               "expected \"sex\", \"generation\", a column name of the pedigree's header in "
               "quotes, or a column number");
    effect.source = *name;
}

void read_fixed_kind(const toml::table& table, FixedEffect& effect, const Refuser& refuse)
{
    const std::size_t line = line_of(table);
    const int kinds = (table.get("column") != nullptr) + (table.get("groups") != nullptr) +
                      (table.get("covariate") != nullptr);
    if (kinds != 1)
        refuse(line, "fixed",
               common::quoted(effect.name) + " needs exactly one of column, groups or covariate");
    if (const toml::node* node = table.get("column")) {
        effect.kind = FixedEffect::Kind::column;
        effect.line = line_of(*node);
        read_column(*node, effect, refuse);
    } else if (const toml::node* groups = table.get("groups")) {
        effect.kind = FixedEffect::Kind::groups;
        const std::int64_t count = integer(*groups, "fixed.groups", refuse);
        if (count < 1 || count > 1000000)
            refuse(line_of(*groups), "fixed.groups", "expected 1 to 1000000 groups per generation");
        effect.groups = static_cast<std::size_t>(count);
    } else {
        const toml::node& covariate = *table.get("covariate");
        effect.kind = FixedEffect::Kind::covariate;
        effect.source = text_of(covariate, "fixed.covariate", refuse);
        if (effect.source != "F" && effect.source != "generation" && effect.source != "age")
            refuse(line_of(covariate), "fixed.covariate",
                   common::quoted(effect.source) +
                       " is not a covariate; the covariates are F, generation and age");
    }
}

// One end of an age range: a whole number from 0 to most_age.
std::int64_t age_of(const toml::node& node, const Refuser& refuse)
{
    const std::string bounds = "0 to " + std::to_string(most_age);
    if (!node.is_integer())
        refuse(line_of(node), "fixed.age",
               "expected whole numbers from " + bounds + ", e.g. [160, 250]");
    const std::int64_t age = node.as_integer()->get();
    if (age < 0 || age > most_age)
        refuse(line_of(node), "fixed.age",
               "an age of " + std::to_string(age) + " is beyond " + bounds +
                   "; give the ages at recording in a unit that keeps them within it");
    return age;
}

// The range of ages at recording of an age covariate, which it needs and
// no other effect has.
void read_age_range(const toml::table& table, FixedEffect& effect, const Refuser& refuse)
{
    const bool ages = effect.kind == FixedEffect::Kind::covariate && effect.source == "age";
    const toml::node* node = table.get("age");
    if (node == nullptr && ages)
        refuse(line_of(table), "fixed",
               common::quoted(effect.name) +
                   ": covariate = \"age\" needs age = [from, to], the whole ages at "
                   "recording, e.g. [160, 250]");
    if (node == nullptr) return;
    if (!ages)
        refuse(line_of(*node), "fixed.age",
               "only an effect with covariate = \"age\" has an age range; remove it");
    const toml::array* range = node->as_array();
    if (range == nullptr || range->size() != 2)
        refuse(line_of(*node), "fixed.age", "expected [from, to], two whole ages, e.g. [160, 250]");
    effect.age = AgeRange{age_of(*range->get(0), refuse), age_of(*range->get(1), refuse)};
    if (effect.age.from > effect.age.to)
        refuse(line_of(*node), "fixed.age",
               "the first age is above the last; write [from, to], the youngest first");
}

// The values of the effect's levels: variance (one per trait or a matrix),
// given values (column effects) or the slope (covariates).
void read_fixed_values(const toml::table& table, std::size_t n, FixedEffect& effect,
                       const Refuser& refuse)
{
    const std::size_t line = line_of(table);
    const bool covariate = effect.kind == FixedEffect::Kind::covariate;
    if (covariate != (table.get("slope") != nullptr))
        refuse(line, "fixed",
               common::quoted(effect.name) + ": a covariate, and only a covariate, has a slope");
    if (covariate) {
        effect.slope = vector_of(*table.get("slope"), n, "fixed.slope", refuse);
        if (table.get("variance") || table.get("values"))
            refuse(line, "fixed",
                   common::quoted(effect.name) +
                       ": a covariate has a slope, no variance or values");
        return;
    }
    if (const toml::node* node = table.get("values")) {
        if (effect.kind != FixedEffect::Kind::column)
            refuse(line_of(*node), "fixed.values", "only a column effect has given values");
        read_level_values(*node, n, effect, refuse);
    }
    if (const toml::node* node = table.get("variance")) {
        // One variance per trait stands for a diagonal matrix.
        const toml::array* array = node->as_array();
        if (n > 1 && array != nullptr && array->size() == n && !array->get(0)->is_array()) {
            const std::vector<double> variances = vector_of(*node, n, "fixed.variance", refuse);
            std::vector<double> diagonal(n * n, 0.0);
            for (std::size_t t = 0; t < n; ++t) diagonal[t * n + t] = variances[t];
            check_covariance(diagonal, n, line_of(*node), "fixed.variance", "", refuse);
            effect.variance = Covariance{n, diagonal, covariance_factor(diagonal, n)};
        } else {
            effect.variance = covariance_of(*node, n, "fixed.variance", refuse);
        }
    }
    if (effect.variance.empty() && effect.levels.empty())
        refuse(line, "fixed", common::quoted(effect.name) + " needs a variance or values");
}

// Names a fixed effect may not take, being another column's: the fixed
// ones and the traits'.
bool column_name_taken(const TraitModel& model, std::string_view name)
{
    // Those of the records table, and those the numeric files add.
    constexpr std::string_view fixed_columns[] = {"animal",     "sire",       "dam",   "generation",
                                                  "record",     "trait",      "value", "intercept",
                                                  "inbreeding", "animal_sex", "pe",    "mpe"};
    return std::ranges::find(fixed_columns, name) != std::end(fixed_columns) ||
           std::ranges::find(model.traits, name) != model.traits.end() ||
           std::ranges::any_of(model.fixed, [&](const FixedEffect& e) { return e.name == name; });
}

FixedEffect fixed_effect(const toml::node& node, const TraitModel& model, const Refuser& refuse)
{
    const toml::table* table = node.as_table();
    if (table == nullptr)
        refuse(line_of(node), "fixed", "expected [[fixed]] tables, each with a name");
    for (const auto& [key, value] : *table)
        if (std::ranges::find(fixed_keys, key.str()) == std::end(fixed_keys))
            // Cut and printable, as every name from the file is shown: the
            // key may be any length of any bytes.
            refuse(key.source().begin.line, "fixed." + common::printable(key.str(), 40),
                   "unknown key; the keys of [[fixed]] are name, column, groups, covariate, "
                   "variance, values, slope, age");
    FixedEffect effect;
    const toml::node* name = table->get("name");
    if (name == nullptr) refuse(line_of(*table), "fixed.name", "missing; add name = \"...\"");
    effect.name = text_of(*name, "fixed.name", refuse);
    if (!usable_column_name(effect.name))
        refuse(line_of(*name), "fixed.name",
               common::quoted(effect.name) +
                   " cannot name a column; a fixed effect's name is 1 to " +
                   std::to_string(longest_trait_name) + " ASCII letters, digits, '_', '.' or '-'");
    if (column_name_taken(model, effect.name))
        refuse(line_of(*table), "fixed.name",
               common::quoted(effect.name) +
                   " is already a column of the records; choose another name");
    read_fixed_kind(*table, effect, refuse);
    read_age_range(*table, effect, refuse);
    read_fixed_values(*table, model.trait_count(), effect, refuse);
    return effect;
}

void read_fixed(const toml::table& table, TraitModel& model, const Refuser& refuse)
{
    const toml::node* node = table.get("fixed");
    if (node == nullptr) return;
    const toml::array* effects = node->as_array();
    if (effects == nullptr)
        refuse(line_of(*node), "fixed", "expected [[fixed]] tables, each with a name");
    for (const toml::node& effect : *effects)
        model.fixed.push_back(fixed_effect(effect, model, refuse));
}

void read_optional_keys(const toml::table& table, TraitModel& model, const Refuser& refuse)
{
    const std::size_t n = model.trait_count();
    if (const toml::node* node = table.get("seed")) {
        const std::int64_t seed = integer(*node, "seed", refuse);
        if (seed < 0) refuse(line_of(*node), "seed", "expected an integer of at least 0");
        model.seed = static_cast<std::uint64_t>(seed);
    }
    if (const toml::node* node = table.get("permanent"))
        model.permanent = covariance_of(*node, n, "permanent", refuse);
    model.records.assign(n, 1);
    if (const toml::node* node = table.get("records"))
        model.records = record_counts(*node, n, refuse);
    model.inbreeding_depression.assign(n, 0.0);
    if (const toml::node* node = table.get("inbreeding_depression"))
        model.inbreeding_depression = vector_of(*node, n, "inbreeding_depression", refuse);
    if (const toml::node* node = table.get("recorded_generations")) {
        const toml::array* range = node->as_array();
        if (range == nullptr || range->size() != 2)
            refuse(line_of(*node), "recorded_generations",
                   "expected [first, last], two generations");
        const GenerationRange generations{integer(*range->get(0), "recorded_generations", refuse),
                                          integer(*range->get(1), "recorded_generations", refuse)};
        if (generations.first > generations.last)
            refuse(line_of(*node), "recorded_generations",
                   "the first generation comes after the last; write [first, last]");
        model.recorded_generations = generations;
    }
    read_record_choice(table, model, refuse);
}

// Most bytes of the TOML library's description of a syntax error: it may
// quote a key or a value of any length.
constexpr std::size_t longest_description = 200;

toml::table parse(std::string_view text, std::string_view file_name)
{
    refuse_deep_nesting(text, file_name);
    try {
        return toml::parse(text, file_name);
    } catch (const toml::parse_error& error) {
        throw common::Failure(common::ExitStatus::input_refused,
                              common::Place{std::string(file_name), error.source().begin.line},
                              common::printable(error.description(), longest_description) +
                                  "; correct the TOML syntax");
    }
}

}  // namespace

std::vector<double> covariance_factor(const std::vector<double>& values, std::size_t size)
{
    const auto n = static_cast<Eigen::Index>(size);
    const Eigen::Map<const Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>
        matrix(values.data(), n, n);
    const Eigen::LDLT<Eigen::MatrixXd> ldlt(matrix);
    // matrix = P' L D L' P, so P' L sqrt(D) is a factor.
    Eigen::MatrixXd lower = ldlt.matrixL();
    const Eigen::VectorXd d = ldlt.vectorD().cwiseMax(0.0).cwiseSqrt();
    const Eigen::MatrixXd factor = ldlt.transpositionsP().transpose() * (lower * d.asDiagonal());
    std::vector<double> out(size * size);
    for (Eigen::Index r = 0; r < n; ++r)
        for (Eigen::Index c = 0; c < n; ++c)
            out[static_cast<std::size_t>(r) * size + static_cast<std::size_t>(c)] = factor(r, c);
    return out;
}

bool FixedEffect::given(std::string_view level) const
{
    return std::ranges::find(levels, level) != levels.end();
}

std::size_t TraitModel::most_records_per_animal() const
{
    return records.empty() ? 0 : *std::ranges::max_element(records);
}

bool TraitModel::records_complete() const
{
    return std::ranges::all_of(records, [&](std::size_t r) { return r == records.front(); }) &&
           std::ranges::all_of(recorded_sex, [](RecordedSex s) { return s == RecordedSex::all; }) &&
           std::ranges::all_of(recorded_fraction, [](double f) { return f == 1.0; });
}

std::uint64_t run_seed(std::optional<std::uint64_t> option, const TraitModel& model,
                       const std::string& file, std::string_view kind)
{
    if (option) return *option;
    if (model.seed) return *model.seed;
    throw common::Failure(common::ExitStatus::input_refused, common::Place{file},
                          "no seed; add seed = N to the " + std::string(kind) +
                              " or give --seed N");
}

TraitModel read_model(std::string_view text, std::string_view file_name)
{
    return read_model(text, file_name, {});
}

TraitModel read_model(std::string_view text, std::string_view file_name,
                      std::span<const std::string_view> other_keys)
{
    const Refuser refuse(file_name);
    const toml::table table = parse(text, file_name);
    std::string others;
    for (const std::string_view key : other_keys) others += ", " + std::string(key);
    for (const auto& [key, node] : table)
        if (std::ranges::find(known_keys, key.str()) == std::end(known_keys) &&
            std::ranges::find(other_keys, key.str()) == other_keys.end())
            refuse(key.source().begin.line, common::quoted(key.str()),
                   "unknown key; the keys are seed, traits, mean, additive, residual, "
                   "permanent, records, inbreeding_depression, recorded_generations, "
                   "recorded_sex, recorded_fraction, fixed, maternal, direct_maternal, "
                   "maternal_permanent, threshold" +
                       others);
    TraitModel model;
    model.traits = trait_names(required(table, "traits", refuse), refuse);
    const std::size_t n = model.trait_count();
    // A program's own file measures its traits from the base generation's
    // mean, 0 unless it says otherwise.
    if (other_keys.empty() || table.get("mean") != nullptr)
        model.mean = vector_of(required(table, "mean", refuse), n, "mean", refuse);
    else
        model.mean.assign(n, 0.0);
    model.additive = covariance_of(required(table, "additive", refuse), n, "additive", refuse);
    model.residual = covariance_of(required(table, "residual", refuse), n, "residual", refuse);
    read_optional_keys(table, model, refuse);
    read_fixed(table, model, refuse);
    read_maternal(table, model, refuse);
    read_thresholds(table, model, refuse);
    return model;
}

}  // namespace pedsim::traits
