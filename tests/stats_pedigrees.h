// Pedigrees for the statistics' tests: pedsim's own, simulated in process and
// read as the program reads its file, and small ones written by hand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "design/parameter_checks.h"
#include "design/parameters.h"
#include "pedigree/pedigree.h"
#include "pedigree/pedigree_reader.h"
#include "random/uniran.h"
#include "sim/pedigree_writer.h"
#include "sim/simulation.h"

namespace stats_test {

// The text of the "pedig" pedsim writes for `design`.
inline std::string simulated_text(const pedsim::design::Parameters& design)
{
    if (pedsim::design::check_parameters(design) != pedsim::design::Verdict::runs)
        throw std::invalid_argument("the design does not run");
    pedsim::random::UniformGenerator generator;
    const pedsim::sim::Tables tables = pedsim::sim::simulate(design, generator);
    return pedsim::sim::pedigree_text(tables, design.ngen);
}

// The "pedig" pedsim writes for `design`, as pedsim-stats reads it.
inline pedsim::pedigree::Pedigree simulated_pedigree(const pedsim::design::Parameters& design)
{
    return pedsim::pedigree::read_pedigree(simulated_text(design), "pedig");
}

// A pedigree written as lines "animal sire dam [generation]", 0 for unknown.
inline pedsim::pedigree::Pedigree written_pedigree(std::string_view lines)
{
    return pedsim::pedigree::read_pedigree(lines, "written");
}

// Position of the animal named `name`.
inline std::size_t animal_named(const pedsim::pedigree::Pedigree& pedigree, std::string_view name)
{
    const auto found = std::ranges::find(pedigree.names, name);
    if (found == pedigree.names.end())
        throw std::invalid_argument("no animal " + std::string(name));
    return static_cast<std::size_t>(found - pedigree.names.begin());
}

// The relationship matrix A of `pedigree` by the tabular method (Emik and
// Terrill, 1949): A_ii = 1 + A_sd / 2 and, for j before i,
// A_ij = (A_js + A_jd) / 2, an unknown parent adding 0. O(N^2): for small
// pedigrees, as an independent check of the methods that never form A.
inline std::vector<std::vector<double>>
tabular_relationships(const pedsim::pedigree::Pedigree& pedigree)
{
    const std::size_t n = pedigree.size();
    std::vector<std::vector<double>> a(n, std::vector<double>(n, 0.0));
    const auto entry = [&](std::size_t j, pedsim::pedigree::AnimalIndex parent) {
        return parent == pedsim::pedigree::unknown ? 0.0 : a[j][static_cast<std::size_t>(parent)];
    };
    for (std::size_t i = 0; i < n; ++i) {
        const auto sire = pedigree.sire[i], dam = pedigree.dam[i];
        for (std::size_t j = 0; j < i; ++j)
            a[i][j] = a[j][i] = (entry(j, sire) + entry(j, dam)) / 2;
        const bool both = sire != pedsim::pedigree::unknown && dam != pedsim::pedigree::unknown;
        a[i][i] =
            1 + (both ? a[static_cast<std::size_t>(sire)][static_cast<std::size_t>(dam)] / 2 : 0);
    }
    return a;
}

}  // namespace stats_test
