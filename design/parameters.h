// The parameter record of a run, as read from "parpop".
#pragma once

#include <cstdint>

namespace pedsim::design {

struct Parameters {
    std::int32_t ngen = 0;    // generations of historical random mating (founders are generation 1)
    std::int32_t nsire = 0;   // sires of every historical generation
    std::int32_t ndps = 0;    // dams mated to each historical sire
    std::int32_t noff = 0;    // offspring of each historical dam
    std::int32_t nsirep = 0;  // sires of the protocol
    std::int32_t ndpsp = 0;   // dams mated to each protocol sire
    std::int32_t noffp = 0;   // offspring of each protocol dam
    std::int32_t iseed = 0;   // seed of the generator; 0 or less keeps its built-in state

    bool operator==(const Parameters&) const = default;
};

}  // namespace pedsim::design
