// What the steps of the statistics fill and hand on: the values per animal,
// per generation and of the design, and the progress callback they report
// to. Every step includes this file; none includes analysis.h, which calls
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pedsim::measures {

// A value that is undefined (a ratio over zero, a first generation's change)
// is a quiet NaN, written as an empty cell.
struct AnimalValues {
    std::vector<double> inbreeding;              // F of each animal
    std::vector<double> equivalent_generations;  // ECG of each animal
    std::vector<double> individual_increase;     // dF_i of each animal; NaN when ECG <= 1
    std::vector<double> mean_kinship;            // with the reference population
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
    double mean_maximum_generations = 0, mean_complete_generations = 0;
    double generation_interval = 0;  // L, mean age of the parents; NaN without birth years
};

// The design of a parameter file, as the expected inbreeding sees it.
struct DesignSummary {
    std::int32_t males = 0;    // Nm = nsire
    std::int32_t females = 0;  // Nf = nsire * ndps
    double inverse_c = 0;      // 1/c
    double wright_ne = 0;      // 4 Nm Nf / (Nm + Nf)
};

}  // namespace pedsim::measures
