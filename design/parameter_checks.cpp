#include "design/parameter_checks.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "common/failure.h"
#include "design/pedigree_counts.h"

namespace pedsim::design {

namespace {

using Exact = ExactCount;

constexpr double most_repeats_allowed = 1e6;

std::string text(Exact value)
{
    return std::to_string(static_cast<long long>(value));  // every value shown fits
}

[[noreturn]] void refuse(const std::string& what)
{
    throw common::Failure(common::ExitStatus::request_refused, what);
}

void require_at_least(const char* name, std::int32_t value, std::int32_t least, const char* meaning)
{
    if (value >= least) return;
    refuse(std::string(name) + " = " + std::to_string(value) + " must be at least " +
           std::to_string(least) + " (" + meaning + ")");
}

}  // namespace

bool protocol_fits(const Parameters& p)
{
    // The products wrap in 32 bits (computed through uint32_t, since signed
    // overflow is undefined in C++); the comparison is in single precision.
    const auto wrap = [](std::uint64_t v) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    };
    const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    const std::int32_t protocol_dams = wrap(u(p.nsirep) * u(p.ndpsp));
    const std::int32_t offspring = wrap(u(p.nsire) * u(p.ndps) * u(p.noff));
    return !(static_cast<float>(protocol_dams) > static_cast<float>(offspring) * 0.5f);
}

void check_table_sizes(const Parameters& p)
{
    const Exact int32_max = std::numeric_limits<std::int32_t>::max();
    const PedigreeCounts c = pedigree_counts(p);
    if (3 * c.animals > int32_max || (Exact{p.ngen} + 1) * identifiers_per_generation > int32_max)
        throw common::Failure(common::ExitStatus::out_of_memory,
                              "Integer overflow when calculating the amount of memory to allocate");
}

namespace {

// The least value of each count, with what it counts.
void require_least_counts(const Parameters& p, bool negative_only)
{
    const struct {
        const char* name;
        std::int32_t value;
        std::int32_t least;
        const char* meaning;
    } counts[] = {
        {"ngen", p.ngen, 1, "generations of random mating"},
        {"nsire", p.nsire, 1, "sires of each generation"},
        {"ndps", p.ndps, 0, "dams per sire"},
        {"noff", p.noff, 1, "offspring per dam"},
        {"nsirep", p.nsirep, 0, "sires of the protocol"},
        {"ndpsp", p.ndpsp, 0, "dams per protocol sire"},
        {"noffp", p.noffp, 0, "offspring per protocol dam"},
    };
    for (const auto& c : counts)
        if (!negative_only || c.value < 0) require_at_least(c.name, c.value, c.least, c.meaning);
}

void require_offspring_per_generation_fit(const PedigreeCounts& c)
{
    if (c.historical_offspring > identifiers_per_generation)
        refuse("nsire*ndps*noff = " + text(c.historical_offspring) +
               " offspring per generation exceed 10000, the identifiers of one generation;"
               " reduce nsire, ndps or noff");
}

}  // namespace

void check_counts_are_sound(const Parameters& p)
{
    require_least_counts(p, true);
    const PedigreeCounts c = pedigree_counts(p);
    // The protocol check compares 32-bit products: an offspring count that
    // does not fit would wrap and make the comparison meaningless.
    if (c.historical_offspring > std::numeric_limits<std::int32_t>::max())
        require_offspring_per_generation_fit(c);
    const Exact protocol_dams = Exact{p.nsirep} * p.ndpsp;
    if (protocol_dams > std::numeric_limits<std::int32_t>::max())
        refuse("nsirep*ndpsp = " + text(protocol_dams) +
               " protocol dams do not fit in 32 bits; reduce nsirep or ndpsp");
}

void check_pedigree_limits(const Parameters& p)
{
    require_least_counts(p, false);

    const PedigreeCounts c = pedigree_counts(p);
    if (c.founders > identifiers_per_generation)
        refuse("nsire*(ndps+1) = " + text(c.founders) +
               " founders exceed 10000, the identifiers of one generation; reduce nsire or ndps");
    require_offspring_per_generation_fit(c);
    const Exact last_identifier =
        (Exact{p.ngen} + 2) * identifiers_per_generation + c.protocol_offspring;
    if (last_identifier > largest_identifier)
        refuse("(ngen+2)*10000 + nsirep*ndpsp*noffp = " + text(last_identifier) +
               " exceeds 1000000, the largest identifier; reduce ngen or the protocol's offspring");
    const Exact generation_rows = (Exact{p.ngen} + 1) * identifiers_per_generation;
    if (c.animals > generation_rows)
        refuse("the pedigree's " + text(c.animals) +
               " animals exceed (ngen+1)*10000 = " + text(generation_rows) +
               "; reduce the protocol (nsirep, ndpsp, noffp) or raise ngen");
}

double expected_repeats(int offspring, int sons, int daughters)
{
    // P(sons <= X <= offspring - daughters) for X ~ Binomial(offspring, 1/2),
    // summed in logarithms because 2^-offspring underflows.
    const int most_sons = offspring - daughters;
    if (sons > most_sons) return std::numeric_limits<double>::infinity();
    const double log_half = std::log(0.5) * offspring;
    const double log_all = std::lgamma(offspring + 1.0);
    double largest = -std::numeric_limits<double>::infinity();
    for (int k = sons; k <= most_sons; ++k)
        largest =
            std::max(largest, log_all - std::lgamma(k + 1.0) - std::lgamma(offspring - k + 1.0));
    double sum = 0.0;
    for (int k = sons; k <= most_sons; ++k)
        sum +=
            std::exp(log_all - std::lgamma(k + 1.0) - std::lgamma(offspring - k + 1.0) - largest);
    const double log_success = std::min(0.0, largest + std::log(sum) + log_half);
    return std::expm1(-log_success);  // (1 - p) / p = 1/p - 1
}

namespace {

// Refuses a selection of `sires` sons and `dams` daughters from `offspring`
// births that can never succeed or would repeat its pass too often.
void require_feasible_selection(int offspring, int sires, int dams, const char* advice)
{
    const double repeats = expected_repeats(offspring, sires, dams);
    if (repeats <= most_repeats_allowed) return;
    std::ostringstream s;
    s.precision(2);
    s << "choosing " << sires << " sires and " << dams << " dams from the " << offspring
      << " offspring of a generation (nsire*ndps*noff) ";
    if (std::isinf(repeats))
        s << "is impossible";
    else
        s << "would take about " << repeats << " repeated passes on average";
    s << "; " << advice;
    refuse(s.str());
}

}  // namespace

void check_passes_can_succeed(const Parameters& p)
{
    const int offspring = p.nsire * p.ndps * p.noff;  // at most 10000 by the limits
    // Every pass but the last historical one selects the historical numbers;
    // the last selects the protocol's parents from the same offspring.
    if (p.ngen >= 2)
        require_feasible_selection(offspring, p.nsire, p.nsire * p.ndps,
                                   "raise noff (at least 2) or ndps");
    require_feasible_selection(offspring, p.nsirep, p.nsirep * p.ndpsp,
                               "reduce nsirep or ndpsp, or raise noff");
}

Verdict check_parameters(const Parameters& p, std::string_view file_name)
{
    return common::naming_file(file_name, common::ExitStatus::request_refused, [&] {
        check_counts_are_sound(p);
        if (!protocol_fits(p)) return Verdict::protocol_too_large;
        check_table_sizes(p);
        check_pedigree_limits(p);
        check_passes_can_succeed(p);
        return Verdict::runs;
    });
}

}  // namespace pedsim::design
