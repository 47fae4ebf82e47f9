// What the statistics find in a pedigree: per animal, per generation and for
// the whole, computed exactly in double precision.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parameters.h"
#include "pedigree.h"

namespace pedsim::stats {

// A value that is undefined (a ratio over zero, a first generation's change)
// is a quiet NaN, written as an empty cell.
struct AnimalValues {
    std::vector<double> inbreeding;              // F of each animal
    std::vector<double> equivalent_generations;  // ECG of each animal
    std::vector<double> individual_increase;     // dF_i of each animal; NaN when ECG <= 1
};

// One row of the per-generation table; the generations ascend.
struct GenerationRow {
    std::int64_t generation = 0;
    std::size_t animals = 0;
    std::size_t sires = 0;  // animals of this generation with offspring as sire
    std::size_t dams = 0;   // animals of this generation with offspring as dam
    double mean_f = 0, sd_f = 0, max_f = 0, inbred_share = 0;
    double delta_f = 0, ne_delta_f = 0;
    double mean_coancestry = 0, delta_c = 0, ne_delta_c = 0;
    double mean_ecg = 0, mean_individual_increase = 0;
    double ne_individual = 0, ne_individual_se = 0;
    double expected_f = 0;  // NaN without a design
};

// The design of a parameter file, as the expected inbreeding sees it.
struct DesignSummary {
    std::int32_t males = 0;    // Nm = nsire
    std::int32_t females = 0;  // Nf = nsire * ndps
    double inverse_c = 0;      // 1/c
    double wright_ne = 0;      // 4 Nm Nf / (Nm + Nf)
};

struct Analysis {
    AnimalValues animals;
    std::vector<GenerationRow> generations;
    std::string method;             // how F and the coancestries were computed, in words
    std::size_t founders = 0;       // animals with both parents unknown
    double effective_founders = 0;  // fe of the last generation
    std::optional<DesignSummary> design;
};

// Reports progress: the stage in words and the fraction of it done, 0 .. 1.
using ProgressReport = std::function<void(std::string_view stage, double done)>;

// Computes everything the report shows. `design`, when given, adds the
// expected inbreeding of that design per generation (the first row being the
// founders' generation) and its summary.
Analysis analyse(const Pedigree& pedigree, const std::optional<Parameters>& design,
                 const ProgressReport& progress);

}  // namespace pedsim::stats
