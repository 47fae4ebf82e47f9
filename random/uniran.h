// The uniform random generator: the only source of randomness of pedsim.
//
// A lagged-subtraction generator with a 17-entry table, seeded through a
// multiplicative congruential sequence. Its exact integer arithmetic and the
// single-precision conversion of every value decide the pedigree a seed
// yields, so nothing here may change without changing every output file.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pedsim::random {

// The lags of the subtraction: the value drawn t-th is x(t - short_lag) -
// x(t - table_size) (plus the modulus when negative), so the table holds the
// last table_size values and the two lag positions start at short_lag and at
// table_size.
inline constexpr std::int32_t table_size = 17;
inline constexpr std::int32_t short_lag = 5;

// Values worth drawing in one call when many are needed: enough that the cost
// of a call vanishes, few enough for an array on the stack.
inline constexpr std::int32_t draws_per_batch = 256;

// Generator state. A default-constructed generator is in the built-in
// starting state (unseeded); tests and in-process runs make their own, the
// program uses the one process-wide instance behind uniran().
class UniformGenerator {
public:
    // Reseeds from scratch: the table becomes seed * 9069^t mod 2^31
    // (t = 1..17, an even seed first made odd), the lags go back to 5 and 17.
    // Assumes seed > 0.
    void seed(std::int32_t seed);

    // Draws one value in [0, 1]: the lagged difference k divided by the
    // modulus, both converted to float and divided in single precision.
    float draw();

    // Values drawn since construction; lets tests count the random stream.
    std::uint64_t draws() const { return draws_; }

private:
    std::int32_t m1_ = 32767;      // modulus of the subtraction, divisor of the value
    std::int32_t i_ = short_lag;   // first lag position, 1-based (1..17)
    std::int32_t j_ = table_size;  // second lag position, 1-based (1..17)
    // Lag table; entry p - 1 holds the table's position p.
    std::array<std::int32_t, table_size> m_ = {30788, 23052, 2053,  19346, 10646, 19427,
                                               23975, 19049, 10949, 19693, 29746, 26748,
                                               2796,  23890, 29168, 31924, 16499};
    std::uint64_t draws_ = 0;
};

// The one generator of the process, in its starting state at program start.
UniformGenerator& process_generator();

// Fills x[0..n-1] with the next n values of `generator`. A positive iseed
// first reseeds it; on return iseed is always -1, so a caller that keeps one
// iseed variable for the whole run seeds at its first call only.
// Assumes x holds at least n values; n <= 0 draws nothing.
void uniran(UniformGenerator& generator, std::int32_t n, std::int32_t& iseed, std::span<float> x);

// The same on the process-wide generator.
void uniran(std::int32_t n, std::int32_t& iseed, std::span<float> x);

}  // namespace pedsim::random
