#include "breed/draws.h"

#include "traits/animal_draws.h"

namespace pedsim::breed {

double uniform_of(std::uint64_t seed, std::string_view identifier, BreedStream stream,
                  std::uint64_t round)
{
    double uniform = 0;
    traits::uniform_deviates(seed, traits::identifier_hash(identifier),
                             static_cast<std::uint64_t>(stream) + (round << 20), {&uniform, 1});
    return uniform;
}

}  // namespace pedsim::breed
