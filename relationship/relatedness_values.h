// What the relationship engine finds, whichever method finds it: F of every
// animal and the mean coancestry of every generation group. Its own header so
// that the methods and the choice among them (relatedness.h) both use it.
#pragma once

#include <vector>

namespace pedsim::relationship {

// F and mean coancestries, as either method finds them.
struct Relatedness {
    std::vector<double> inbreeding;       // F of each animal
    std::vector<double> mean_coancestry;  // of each group, x'Ax / (2 n^2)
};

}  // namespace pedsim::relationship
