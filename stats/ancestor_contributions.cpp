#include "ancestor_contributions.h"

#include <vector>

#include "generation_table.h"
#include "indexing.h"

namespace pedsim::stats {

namespace {

// The shares of the genes still unexplained below which the choice stops:
// what rounding leaves of a sum that is 1.
constexpr double negligible = 1e-12;

// q of every animal: the weight its descendants pass to it, the reference
// weighing 1/n each; a chosen ancestor keeps what it receives.
std::vector<double> contributions(const Pedigree& pedigree, std::span<const AnimalIndex> reference,
                                  const std::vector<bool>& chosen)
{
    std::vector<double> weight(pedigree.size(), 0.0), received(pedigree.size(), 0.0);
    for (const AnimalIndex animal : reference)
        weight[position(animal)] = 1 / static_cast<double>(reference.size());
    for (std::size_t i = position(reference.back()) + 1; i-- > 0;) {
        weight[i] += received[i];
        if (weight[i] == 0 || chosen[i]) continue;
        for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (is_known(parent)) received[position(parent)] += weight[i] / 2;
    }
    return received;
}

// a of every animal: the share of its genes from the chosen ancestors.
std::vector<double> chosen_share(const Pedigree& pedigree, std::size_t end,
                                 const std::vector<bool>& chosen)
{
    std::vector<double> share(end, 0.0);
    for (std::size_t i = 0; i < end; ++i) {
        if (chosen[i]) {
            share[i] = 1;
            continue;
        }
        for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (is_known(parent)) share[i] += share[position(parent)] / 2;
    }
    return share;
}

}  // namespace

AncestorContributions effective_ancestors(const Pedigree& pedigree,
                                          std::span<const AnimalIndex> reference, std::size_t cap)
{
    const std::size_t end = position(reference.back()) + 1;
    std::vector<bool> chosen(pedigree.size(), false);
    AncestorContributions found;
    double squares = 0;
    while (found.ancestors < cap && found.explained < 1 - negligible) {
        const std::vector<double> q = contributions(pedigree, reference, chosen);
        const std::vector<double> a = chosen_share(pedigree, end, chosen);
        std::size_t best = end;
        double most = 0;
        for (std::size_t k = 0; k < end; ++k) {
            const double marginal = chosen[k] ? 0 : q[k] * (1 - a[k]);
            if (marginal > most) most = marginal, best = k;
        }
        if (most < negligible) break;
        chosen[best] = true;
        ++found.ancestors;
        found.explained += most;
        squares += most * most;
        if (found.half == 0 && found.explained >= 0.5) found.half = found.ancestors;
    }
    found.effective_ancestors = ratio(1, squares);
    return found;
}

}  // namespace pedsim::stats
