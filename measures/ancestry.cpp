#include "measures/ancestry.h"

#include <cmath>
#include <limits>

#include "pedigree/indexing.h"

namespace pedsim::measures {

std::vector<double> equivalent_generations(const pedigree::Pedigree& pedigree)
{
    std::vector<double> ecg(pedigree.size(), 0.0);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) ecg[i] += (1 + ecg[pedigree::position(parent)]) / 2;
    return ecg;
}

double individual_increase(double inbreeding, double equivalent_generations)
{
    if (!(equivalent_generations > 1)) return std::numeric_limits<double>::quiet_NaN();
    return 1 - std::pow(1 - inbreeding, 1 / (equivalent_generations - 1));
}

std::size_t count_founders(const pedigree::Pedigree& pedigree)
{
    std::size_t founders = 0;
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        founders += pedigree::is_founder(pedigree, i) ? 1 : 0;
    return founders;
}

std::size_t count_half_founders(const pedigree::Pedigree& pedigree)
{
    std::size_t half = 0;
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        half += pedigree::is_known(pedigree.sire[i]) != pedigree::is_known(pedigree.dam[i]) ? 1 : 0;
    return half;
}

double effective_founders(const pedigree::Pedigree& pedigree,
                          std::span<const pedigree::AnimalIndex> group, FounderRule rule)
{
    std::vector<double> weight(pedigree.size(), 0.0);
    for (const pedigree::AnimalIndex animal : group)
        weight[pedigree::position(animal)] = 1 / static_cast<double>(group.size());
    // The sum of the squares of all contributions, in the order of the pass
    // (the default rule's sum, bit for bit as before the other rule), and
    // the sums of the contributions of the founders alone and their squares.
    double squares = 0, known = 0, known_squares = 0;
    for (std::size_t i = pedigree.size(); i-- > 0;) {
        if (weight[i] == 0) continue;
        if (pedigree::is_founder(pedigree, i)) {
            squares += weight[i] * weight[i];
            known += weight[i];
            known_squares += weight[i] * weight[i];
            continue;
        }
        const double half = weight[i] / 2;
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]}) {
            if (pedigree::is_known(parent))
                weight[pedigree::position(parent)] += half;
            else
                squares += half * half;
        }
    }
    if (rule == FounderRule::known_founders_only) return known * known / known_squares;
    return 1 / squares;
}

}  // namespace pedsim::measures
