// A number of a TOML file the programs read (a trait model, a breeding
// program) as a double. The TOML library gives an integer as a double only
// when the double holds it exactly, and nothing otherwise; asking it for a
// value it does not have aborted the program on an integer beyond 2^53.
#pragma once

#include <cstdint>
#include <optional>
#include <toml++/toml.h>

namespace pedsim::traits {

// A float as it is; an integer when a double holds it exactly (|x| <= 2^53);
// nothing for a larger integer, which a double would round to a neighbour,
// or for a node that is no number.
inline std::optional<double> exact_number(const toml::node& node)
{
    if (const auto* floating = node.as_floating_point()) return floating->get();
    const auto* integer = node.as_integer();
    if (integer == nullptr) return std::nullopt;
    constexpr std::int64_t exact = std::int64_t{1} << 53;
    const std::int64_t value = integer->get();
    if (value > exact || value < -exact) return std::nullopt;
    return static_cast<double>(value);
}

// The advice of a refusal of a larger integer.
inline constexpr const char* inexact_integer_advice =
    "an integer beyond 2^53 has no exact value as a number here; write it with an exponent, "
    "e.g. 9.1e15";

}  // namespace pedsim::traits
