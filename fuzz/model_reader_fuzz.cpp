// libFuzzer target: each input is the text of a trait model for
// pedsim-traits.
//
// The reader must either refuse the text with a pedsim::common::Failure of status 1
// whose message is one printable line of bounded length, or return a model
// that keeps its contract: usable, distinct trait names, one value per trait,
// finite values within the bounds, symmetric matrices that their factor
// reproduces, a record count, a generation range and an age range in order.
// Any other exception escapes and libFuzzer reports it; a crash (the TOML
// library's recursion on deep nesting, say) or a broken property aborts.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/failure.h"
#include "fuzz/refusal_check.h"
#include "traits/model.h"

namespace {

using pedsim::traits::Covariance;
using pedsim::traits::TraitModel;

constexpr std::string_view target = "model_reader_fuzz";

[[noreturn]] void fail(const std::string& what) { pedsim::fuzz::fail(target, what); }

void check_names(const TraitModel& model)
{
    if (model.traits.empty()) fail("a model without traits");
    for (std::size_t t = 0; t < model.traits.size(); ++t) {
        const std::string& name = model.traits[t];
        const bool usable =
            !name.empty() && name.size() <= 64 && std::ranges::all_of(name, [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' ||
                       c == '-';
            });
        if (!usable) fail("trait name " + pedsim::common::quoted(name) + " cannot name a column");
        if (std::find(model.traits.begin(), model.traits.begin() + static_cast<std::ptrdiff_t>(t),
                      name) != model.traits.begin() + static_cast<std::ptrdiff_t>(t))
            fail("trait name " + pedsim::common::quoted(name) + " stands twice");
    }
}

void check_value(double value, const char* what)
{
    if (!std::isfinite(value) || std::fabs(value) > 1e100)
        fail(std::string(what) + ": " + std::to_string(value) + " beyond -1e100 .. 1e100");
}

// Symmetric, variances 0 or at least 1e-100, and L L' the matrix to within
// rounding.
void check_covariance(const Covariance& c, std::size_t n, const char* what)
{
    if (c.size != n || c.values.size() != n * n || c.factor.size() != n * n)
        fail(std::string(what) + ": not " + std::to_string(n) + " x " + std::to_string(n));
    double largest = 0;
    for (const double value : c.values) {
        check_value(value, what);
        largest = std::max(largest, std::fabs(value));
    }
    for (std::size_t r = 0; r < n; ++r) {
        const double variance = c.at(r, r);
        if (variance < 0 || (variance > 0 && variance < 1e-100))
            fail(std::string(what) + ": variance " + std::to_string(variance));
        for (std::size_t k = 0; k < n; ++k) {
            if (c.at(r, k) != c.at(k, r)) fail(std::string(what) + ": not symmetric");
            double product = 0;
            for (std::size_t j = 0; j < n; ++j)
                product += c.factor[r * n + j] * c.factor[k * n + j];
            if (!(std::fabs(product - c.at(r, k)) <= 1e-6 * largest))
                fail(std::string(what) + ": the factor does not reproduce the matrix");
        }
    }
}

void check_model(const TraitModel& model)
{
    check_names(model);
    const std::size_t n = model.trait_count();
    if (model.mean.size() != n || model.inbreeding_depression.size() != n)
        fail("a vector without one value per trait");
    for (std::size_t t = 0; t < n; ++t) {
        check_value(model.mean[t], "mean");
        check_value(model.inbreeding_depression[t], "inbreeding_depression");
    }
    check_covariance(model.additive, n, "additive");
    check_covariance(model.residual, n, "residual");
    if (!model.permanent.empty()) check_covariance(model.permanent, n, "permanent");
    if (model.records.size() != n) fail("records without one count per trait");
    for (const std::size_t records : model.records)
        if (records < 1 || records > static_cast<std::size_t>(pedsim::traits::most_records))
            fail("records " + std::to_string(records));
    if (model.recorded_sex.size() != n || model.recorded_fraction.size() != n ||
        model.threshold.size() != n)
        fail("a record choice without one value per trait");
    for (const double fraction : model.recorded_fraction)
        if (!(fraction >= 0 && fraction <= 1))
            fail("recorded_fraction " + std::to_string(fraction));
    if (model.has_maternal()) check_covariance(model.joint, 2 * n, "the joint matrix");
    if (!model.maternal_permanent.empty())
        check_covariance(model.maternal_permanent, n, "maternal_permanent");
    for (const auto& thresholds : model.threshold)
        for (std::size_t k = 1; k < thresholds.size(); ++k)
            if (!(thresholds[k - 1] < thresholds[k])) fail("thresholds not ascending");
    if (model.recorded_generations &&
        model.recorded_generations->first > model.recorded_generations->last)
        fail("recorded_generations out of order");
    for (const pedsim::traits::FixedEffect& effect : model.fixed)
        if (effect.source == "age" && effect.kind == pedsim::traits::FixedEffect::Kind::covariate &&
            !(0 <= effect.age.from && effect.age.from <= effect.age.to &&
              effect.age.to <= pedsim::traits::most_age))
            fail("age range " + std::to_string(effect.age.from) + " .. " +
                 std::to_string(effect.age.to));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TraitModel model;
    try {
        model = pedsim::traits::read_model(text, "model");
    } catch (const pedsim::common::Failure& failure) {
        pedsim::fuzz::check_refusal(target, failure);
        return 0;
    }
    check_model(model);
    return 0;
}
