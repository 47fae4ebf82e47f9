// The draws of a breeding program beside the trait values: each from the
// counter-based generator of pedsim-traits (traits/animal_draws.h), keyed by
// the seed and the identifier of what it belongs to, on streams of its own.
#pragma once

#include <cstdint>
#include <string_view>

namespace pedsim::breed {

// The streams start at 2^40, beyond every stream of the trait values, so that
// an animal's breeding value and records are those pedsim-traits draws for it.
enum class BreedStream : std::uint64_t {
    sex = std::uint64_t{1} << 40,            // an offspring's sex
    ranking = (std::uint64_t{1} << 40) + 1,  // random criterion: + 2^20 x round
    mating = (std::uint64_t{1} << 40) + 2,   // a dam's place in the mating: + 2^20 x round
};

// The uniform deviate in (0, 1] of `stream`, shifted by 2^20 x `round`, of the
// animal (or item) named `identifier`.
double uniform_of(std::uint64_t seed, std::string_view identifier, BreedStream stream,
                  std::uint64_t round = 0);

}  // namespace pedsim::breed
