// The trait model of pedsim-traits: the traits, their base-population
// (co)variances and the records, read from a TOML file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pedsim::traits {

// A symmetric positive semi-definite matrix of the traits, with a factor L
// such that the matrix is L L': a vector of independent standard normal
// deviates z gives L z with this matrix as covariance. Row-major.
struct Covariance {
    std::size_t size = 0;
    std::vector<double> values;  // size x size
    std::vector<double> factor;  // L, size x size

    double at(std::size_t row, std::size_t column) const { return values[row * size + column]; }
    bool empty() const { return size == 0; }
};

struct GenerationRange {
    std::int64_t first = 0;  // inclusive
    std::int64_t last = 0;   // inclusive
};

struct TraitModel {
    std::optional<std::uint64_t> seed;          // the file's seed; --seed overrides it
    std::vector<std::string> traits;            // names, used as column names
    std::vector<double> mean;                   // one per trait
    Covariance additive;                        // G, the base population's
    Covariance residual;                        // R, of each record
    Covariance permanent;                       // P, once per animal; empty when not given
    std::size_t records = 1;                    // records per recorded animal
    std::vector<double> inbreeding_depression;  // added per unit of F; zeros when not given
    std::optional<GenerationRange> recorded_generations;  // every animal when not given

    std::size_t trait_count() const { return traits.size(); }
};

// Most records per animal a model may ask for.
inline constexpr std::int64_t most_records = 1000;

// Reads the whole text of a model file. Keys: seed (integer >= 0), traits
// (array of distinct names, each 1 to 64 ASCII letters, digits, '_', '.' or
// '-'), mean, additive, residual, optional permanent, records (1 ..
// most_records), inbreeding_depression and recorded_generations ([first,
// last]); with one trait a vector or matrix may be a number. Throws a Failure
// (input_refused) "FILE: line N: KEY: what is wrong; what to do", in one line
// with the names from the file quoted (quoted()), for text nested deeper than
// most_nesting_levels (checked before the TOML library reads it), a TOML
// syntax error, an unknown or missing key, a value of the wrong shape or
// type, a number beyond -1e100 .. 1e100, a negative variance or one between 0
// and 1e-100, a matrix that is not symmetric or not positive semi-definite.
TraitModel read_model(std::string_view text, std::string_view file_name);

// The factor L of a symmetric positive semi-definite matrix (row-major,
// size x size) with matrix = L L', from Eigen's LDLT with pivoting, which
// accepts singular matrices: L = P' L_ldlt sqrt(D) with D clamped at 0.
std::vector<double> covariance_factor(const std::vector<double>& values, std::size_t size);

}  // namespace pedsim::traits
