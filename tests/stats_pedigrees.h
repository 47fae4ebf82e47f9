// Pedigrees for the statistics' tests: pedsim's own, simulated in process and
// read as the program reads its file, and small ones written by hand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "parameter_checks.h"
#include "parameters.h"
#include "pedigree.h"
#include "pedigree_reader.h"
#include "pedigree_writer.h"
#include "simulation.h"
#include "uniran.h"

namespace stats_test {

// The "pedig" pedsim writes for `design`, as pedsim-stats reads it.
inline pedsim::stats::Pedigree simulated_pedigree(const pedsim::Parameters& design)
{
    if (pedsim::check_parameters(design) != pedsim::Verdict::runs)
        throw std::invalid_argument("the design does not run");
    pedsim::UniformGenerator generator;
    const pedsim::Tables tables = pedsim::simulate(design, generator);
    return pedsim::stats::read_pedigree(pedsim::pedigree_text(tables, design.ngen), "pedig");
}

// A pedigree written as lines "animal sire dam [generation]", 0 for unknown.
inline pedsim::stats::Pedigree written_pedigree(std::string_view lines)
{
    return pedsim::stats::read_pedigree(lines, "written");
}

// Position of the animal named `name`.
inline std::size_t animal_named(const pedsim::stats::Pedigree& pedigree, std::string_view name)
{
    const auto found = std::ranges::find(pedigree.names, name);
    if (found == pedigree.names.end())
        throw std::invalid_argument("no animal " + std::string(name));
    return static_cast<std::size_t>(found - pedigree.names.begin());
}

}  // namespace stats_test
