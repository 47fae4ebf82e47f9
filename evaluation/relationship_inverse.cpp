#include "evaluation/relationship_inverse.h"

#include <array>
#include <cstddef>

namespace pedsim::evaluation {

namespace {

// The variance of animal i's Mendelian sampling, in units of the additive
// variance: the part of a founder's variance 1 that the halves of its known
// parents' values, each of variance (1 + F_p) / 4, leave unexplained.
double mendelian_sampling_variance(const PedigreeLinks& pedigree, std::size_t i)
{
    double variance = 1.0;
    for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]}) {
        if (parent != unknown_parent)
            variance -= 0.25 * (1.0 + pedigree.inbreeding[static_cast<std::size_t>(parent)]);
    }
    return variance;
}

}  // namespace

Eigen::SparseMatrix<double> relationship_inverse(const PedigreeLinks& pedigree)
{
    const auto animals = static_cast<Eigen::Index>(pedigree.size());
    std::vector<Eigen::Triplet<double>> entries;
    entries.reserve(9 * pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const double weight = 1.0 / mendelian_sampling_variance(pedigree, i);
        const auto self = static_cast<AnimalIndex>(i);
        // The animal with coefficient 1, each known parent with -1/2: the
        // outer product of this row, scaled by 1/b_i, is i's share of A^-1.
        std::array<std::pair<AnimalIndex, double>, 3> row{
            {{self, 1.0}, {pedigree.sire[i], -0.5}, {pedigree.dam[i], -0.5}}};
        for (const auto& [a, ca] : row) {
            if (a == unknown_parent) continue;
            for (const auto& [b, cb] : row) {
                if (b != unknown_parent) entries.emplace_back(a, b, weight * ca * cb);
            }
        }
    }
    Eigen::SparseMatrix<double> inverse(animals, animals);
    inverse.setFromTriplets(entries.begin(), entries.end());  // duplicates are summed
    return inverse;
}

}  // namespace pedsim::evaluation
