// The trait model of pedsim-traits: the traits, their base-population
// (co)variances and the records, read from a TOML file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
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

// The whole ages at recording an age covariate draws from, each equally
// likely: from .. to, inclusive, 0 <= from <= to <= most_age.
struct AgeRange {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// The oldest age at recording a model may give (in its own unit, e.g. days).
inline constexpr std::int64_t most_age = 100000;

// Which animals of the recorded generations a trait records.
enum class RecordedSex {
    all,     // every animal, of known sex or not
    female,  // animals known to be female
    male,    // animals known to be male
};

// One fixed effect added to every record.
struct FixedEffect {
    enum class Kind {
        column,     // the levels of a pedigree column: "sex", "generation" or one the
                    // reader keeps (a herd), by header name or number
        groups,     // contemporary groups drawn within each generation
        covariate,  // slope times the animal's F, generation or age at recording
    };
    std::string name;
    Kind kind = Kind::column;
    std::string source;               // the column or the covariate's name
    std::size_t column_number = 0;    // a pedigree column given by number, from 1; else 0
    std::size_t line = 0;             // the line of the column key, for later refusals
    std::size_t groups = 0;           // groups per generation, for Kind::groups
    Covariance variance;              // each level's value N(0, variance); or empty
    std::vector<std::string> levels;  // levels given values, in the file's order
    std::vector<double> values;       // levels x traits, row-major, for those levels
    std::vector<double> slope;        // per trait, for Kind::covariate
    AgeRange age;                     // the ages drawn, for the covariate "age"

    bool given(std::string_view level) const;
    // True for a column effect on a column of the pedigree file other than
    // the sex and the generation, which the reader must keep.
    bool reads_pedigree_column() const
    {
        return kind == Kind::column &&
               (column_number != 0 || (source != "sex" && source != "generation"));
    }
};

struct TraitModel {
    std::optional<std::uint64_t> seed;      // the file's seed; --seed overrides it
    std::vector<std::string> traits;        // names, used as column names
    std::vector<double> mean;               // one per trait
    Covariance additive;                    // G, the base population's
    Covariance residual;                    // R, of each record
    Covariance permanent;                   // P, once per animal; empty when not given
    std::vector<std::size_t> records;       // records per recorded animal, per trait
    std::vector<RecordedSex> recorded_sex;  // per trait; all when not given
    std::vector<double> recorded_fraction;  // per trait, 0 .. 1; ones when not given
    std::vector<FixedEffect> fixed;         // in the file's order
    // The maternal additive (co)variances and their covariances with the
    // direct ones (rows: direct traits, columns: maternal traits); empty
    // without maternal effects. joint is [[additive, direct_maternal],
    // [direct_maternal', maternal]], 2n x 2n.
    Covariance maternal;
    std::vector<double> direct_maternal;  // n x n, row-major
    Covariance joint;
    Covariance maternal_permanent;  // of the dam, once per dam; empty when not given
    // Per trait, the ascending thresholds on the liability (the trait as
    // simulated, mean included); empty for a continuous trait.
    std::vector<std::vector<double>> threshold;
    std::vector<double> inbreeding_depression;  // added per unit of F; zeros when not given
    std::optional<GenerationRange> recorded_generations;  // every animal when not given

    std::size_t trait_count() const { return traits.size(); }
    std::size_t most_records_per_animal() const;
    bool has_maternal() const { return !maternal.empty(); }
    bool is_threshold(std::size_t trait) const { return !threshold[trait].empty(); }
    // True when every animal of the recorded generations has every record of
    // every trait: no per-trait counts, sexes or fractions.
    bool records_complete() const;
};

// Most records per animal a model may ask for.
inline constexpr std::int64_t most_records = 1000;

// Reads the whole text of a model file. Keys: seed (integer >= 0), traits
// (array of distinct names, each 1 to 64 ASCII letters, digits, '_', '.' or
// '-'), mean, additive, residual, optional permanent, records (1 ..
// most_records, or one per trait), recorded_sex ("all", "F", "M" per trait),
// recorded_fraction (0 .. 1 per trait), inbreeding_depression,
// recorded_generations ([first, last]), [[fixed]] tables (name and one of
// column, groups or covariate, with variance, values or slope; a column is
// "sex", "generation", another name or a number 1 .. 1000 whose presence
// in the pedigree pedigree_columns.h checks; a covariate is "F",
// "generation" or "age", the last with age = [from, to]), maternal,
// direct_maternal, maternal_permanent and threshold (one ascending list per
// trait); with one trait a vector or matrix may be a number. Throws a Failure
// (input_refused) "FILE: line N: KEY: what is wrong; what to do", in one line
// with the names from the file quoted (quoted()), for text nested deeper than
// most_nesting_levels (checked before the TOML library reads it), a TOML
// syntax error, an unknown or missing key, a value of the wrong shape or
// type, a number beyond -1e100 .. 1e100, a negative variance or one between 0
// and 1e-100, a matrix that is not symmetric or not positive semi-definite
// (the joint direct and maternal matrix included, named "maternal"),
// thresholds not ascending, a fixed effect without its kind or named twice,
// an age range missing from an age covariate or given to another effect,
// not two whole numbers, reversed, or beyond 0 .. most_age.
TraitModel read_model(std::string_view text, std::string_view file_name);

// read_model for a file that holds keys of its own program beside the
// model's (a breeding program): a top-level key named in `other_keys` is
// left to the caller, the refusal of an unknown key lists them too, and
// mean may be left out (0 for every trait).
TraitModel read_model(std::string_view text, std::string_view file_name,
                      std::span<const std::string_view> other_keys);

// The seed of a run: `option` (--seed) when given, else the seed of the
// model read from `file`, a `kind` of file ("model", "program"). Throws a
// Failure (input_refused) "FILE: no seed; add seed = N to the KIND or give
// --seed N" when neither gives one.
std::uint64_t run_seed(std::optional<std::uint64_t> option, const TraitModel& model,
                       const std::string& file, std::string_view kind);

// The factor L of a symmetric positive semi-definite matrix (row-major,
// size x size) with matrix = L L', from Eigen's LDLT with pivoting, which
// accepts singular matrices: L = P' L_ldlt sqrt(D) with D clamped at 0.
std::vector<double> covariance_factor(const std::vector<double>& values, std::size_t size);

}  // namespace pedsim::traits
