// libFuzzer target: each input is the text of a breeding program for
// pedsim-breed.
//
// The reader must either refuse the text with a pedsim::common::Failure of status 1
// whose message is one printable line of bounded length, or return a program
// the run can carry out: parents the base and each round's expected offspring
// can give, weights for every trait not all 0, counts and ages within their
// bounds, a run of at most most_animals animals, and a criterion that has
// what it ranks on. Any other exception escapes and libFuzzer reports it; a
// crash or a broken property aborts.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "breed/program.h"
#include "common/failure.h"
#include "fuzz/refusal_check.h"

namespace {

using pedsim::breed::BreedingProgram;

constexpr std::string_view target = "breed_program_fuzz";

[[noreturn]] void fail(const std::string& what) { pedsim::fuzz::fail(target, what); }

void check_counts(const BreedingProgram& program)
{
    if (program.generations > 10000) fail("generations " + std::to_string(program.generations));
    if (program.base_males < 1 || program.base_females < 1) fail("an empty sex in the base");
    if (program.offspring < 1) fail("no offspring");
    if (program.sires < 1 || program.sires > program.base_males) fail("sires beyond the base");
    if (program.dams < 1 || program.dams > program.base_females) fail("dams beyond the base");
    const std::size_t expected = program.dams * program.offspring / 2;
    if (program.generations > 1 && (program.sires > expected || program.dams > expected))
        fail("parents beyond each round's expected offspring");
    for (const std::size_t age : {program.sire_generations, program.dam_generations})
        if (age < 1 || age > 100) fail("ages " + std::to_string(age));
    if (program.animal_count() > pedsim::breed::most_animals)
        fail("a run of " + std::to_string(program.animal_count()) + " animals");
}

void check_selection(const BreedingProgram& program)
{
    const std::size_t n = program.model.trait_count();
    if (program.index.size() != n) fail("an index without one weight per trait");
    if (std::ranges::all_of(program.index, [](double w) { return w == 0.0; }))
        fail("an index of zeros");
    if (std::ranges::any_of(program.index, [](double w) { return !std::isfinite(w); }))
        fail("a weight not finite");
    const bool both_sexes = std::ranges::all_of(program.model.recorded_sex, [](auto sex) {
        return sex == pedsim::traits::RecordedSex::all;
    });
    if (program.criterion == pedsim::breed::Criterion::phenotype && !both_sexes)
        fail("phenotype selection with a sex-limited trait");
    if (!program.model.fixed.empty() || program.model.has_maternal() ||
        !program.model.maternal_permanent.empty() || program.model.recorded_generations ||
        std::ranges::any_of(program.model.threshold, [](const auto& t) { return !t.empty(); }))
        fail("a part of the trait model the program does not simulate");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    BreedingProgram program;
    try {
        program = pedsim::breed::read_program(text, "program");
    } catch (const pedsim::common::Failure& failure) {
        pedsim::fuzz::check_refusal(target, failure);
        return 0;
    }
    check_counts(program);
    check_selection(program);
    return 0;
}
