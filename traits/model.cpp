#include "model.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <toml++/toml.h>

#include "common/exit_status.h"
#include "common/failure.h"
#include "toml_nesting.h"

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
                                           "recorded_generations"};

// Throws the refusal of the value of `key` standing at `line`.
class Refuser {
public:
    explicit Refuser(std::string_view file_name) : file_name_(file_name) {}

    [[noreturn]] void operator()(std::size_t line, std::string_view key,
                                 const std::string& what) const
    {
        throw Failure(ExitStatus::input_refused, Place{std::string(file_name_), line},
                      std::string(key) + ": " + what);
    }

private:
    std::string_view file_name_;
};

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
    const double value = node.value<double>().value();
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

void check_covariance(const std::vector<double>& values, std::size_t n, std::size_t line,
                      std::string_view key, const Refuser& refuse)
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
    check_covariance(values, n, line_of(node), key, refuse);
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
                   quoted(name) + " cannot name a column; a trait name is 1 to " +
                       std::to_string(longest_trait_name) +
                       " ASCII letters, digits, '_', '.' or '-'");
        if (std::ranges::find(names, name) != names.end())
            refuse(line_of(element), "traits", quoted(name) + " is named twice");
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
    if (const toml::node* node = table.get("records")) {
        const std::int64_t records = integer(*node, "records", refuse);
        if (records < 1 || records > most_records)
            refuse(line_of(*node), "records",
                   "expected 1 to " + std::to_string(most_records) + " records per animal");
        model.records = static_cast<std::size_t>(records);
    }
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
        throw Failure(
            ExitStatus::input_refused, Place{std::string(file_name), error.source().begin.line},
            printable(error.description(), longest_description) + "; correct the TOML syntax");
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

TraitModel read_model(std::string_view text, std::string_view file_name)
{
    const Refuser refuse(file_name);
    const toml::table table = parse(text, file_name);
    for (const auto& [key, node] : table)
        if (std::ranges::find(known_keys, key.str()) == std::end(known_keys))
            refuse(key.source().begin.line, quoted(key.str()),
                   "unknown key; the keys are seed, traits, mean, additive, residual, "
                   "permanent, records, inbreeding_depression, recorded_generations");
    TraitModel model;
    model.traits = trait_names(required(table, "traits", refuse), refuse);
    const std::size_t n = model.trait_count();
    model.mean = vector_of(required(table, "mean", refuse), n, "mean", refuse);
    model.additive = covariance_of(required(table, "additive", refuse), n, "additive", refuse);
    model.residual = covariance_of(required(table, "residual", refuse), n, "residual", refuse);
    read_optional_keys(table, model, refuse);
    return model;
}

}  // namespace pedsim::traits
