// libFuzzer target: each input is the text of "parpop".
//
// Text the reader refuses and parameters the checks refuse must end in a
// pedsim::Failure; any other exception escapes and libFuzzer reports it.
// Parameters that may run, when the pedigree is small, are simulated in
// process and the pedigree file's text is checked against the properties
// every pedigree file has. A broken property aborts with a message.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure.h"
#include "design/parameter_checks.h"
#include "design/parameter_file.h"
#include "design/pedigree_counts.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"
#include "tests/pedigree_check.h"

namespace {

using pedsim::design::Parameters;

// Runs larger than this are only parsed and checked: under the sanitizers a
// single input must finish in well under a second.
constexpr pedsim::design::ExactCount most_animals = 20000;
constexpr double most_draws = 300000;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "parameter_file_fuzz: %s\n", what.c_str());
    std::abort();
}

// Draws a run is expected to make: every historical pass shuffles the dams
// and draws one sex per offspring, is repeated as often as its selection
// needs on average, and ends with the shuffles of all sons and all
// daughters; the protocol pass only shuffles its dams. Assumes parameters
// that check_parameters let run, so the counts below fit in an int.
double expected_draws(const Parameters& p)
{
    const int dams = p.nsire * p.ndps;
    const int offspring = dams * p.noff;
    const double pass = dams + offspring;
    const double historical_repeats =
        p.ngen >= 2 ? pedsim::design::expected_repeats(offspring, p.nsire, dams) : 0.0;
    const double protocol_repeats =
        pedsim::design::expected_repeats(offspring, p.nsirep, p.nsirep * p.ndpsp);
    return (p.ngen - 1) * ((1 + historical_repeats) * pass + offspring) +
           (1 + protocol_repeats) * pass + offspring + p.nsirep * p.ndpsp;
}

bool small_enough(const Parameters& p)
{
    return pedsim::design::pedigree_counts(p).animals <= most_animals &&
           expected_draws(p) <= most_draws;
}

// Draws the loop must have made given the passes it records: each historical
// pass draws a dam shuffle and one value per offspring, the pass that
// succeeds also shuffles every offspring (sons and daughters), and the
// protocol pass only shuffles the protocol's dams.
std::uint64_t draws_for(const Parameters& p, const pedsim::sim::LoopRecord& record)
{
    const auto dams = static_cast<std::uint64_t>(p.nsire * p.ndps);
    const std::uint64_t offspring = dams * static_cast<std::uint64_t>(p.noff);
    std::uint64_t draws = static_cast<std::uint64_t>(p.nsirep * p.ndpsp);
    for (std::size_t g = 0; g + 1 < record.passes.size(); ++g)
        draws += static_cast<std::uint64_t>(record.passes[g]) * (dams + offspring) + offspring;
    return draws;
}

void simulate_and_check(const Parameters& p)
{
    pedsim::random::UniformGenerator generator;
    pedsim::sim::LoopRecord record;
    const pedsim::sim::Tables tables = pedsim::sim::simulate(p, generator, &record);
    if (generator.draws() != draws_for(p, record))
        fail("the draws made do not match the passes recorded");

    const std::string fault = pedigree_check::pedigree_fault(
        pedsim::sim::pedigree_text(tables, p.ngen),
        {p.ngen, p.nsire, p.ndps, p.noff, p.nsirep, p.ndpsp, p.noffp});
    if (!fault.empty()) fail(fault);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Parameters p;
    try {
        p = pedsim::design::parse_parameters(text);
        if (pedsim::design::check_parameters(p) != pedsim::design::Verdict::runs) return 0;
    } catch (const pedsim::common::Failure&) {
        return 0;  // the program's own refusal: a message and a non-zero exit
    }
    if (small_enough(p)) simulate_and_check(p);
    return 0;
}
