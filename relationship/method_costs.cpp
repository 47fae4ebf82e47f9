#include "relationship/method_costs.h"

#include <cstdint>

#include "pedigree/indexing.h"

namespace pedsim::relationship {

namespace {

// The number of animals that `starts` and their ancestors make, with marks in
// `seen` (all 0 on entry and on return) and `found` as room.
std::size_t ancestry_size(const pedigree::Pedigree& pedigree,
                          const std::vector<pedigree::AnimalIndex>& starts,
                          std::vector<std::uint8_t>& seen,
                          std::vector<pedigree::AnimalIndex>& found)
{
    found.clear();
    const auto visit = [&](pedigree::AnimalIndex animal) {
        if (!pedigree::is_known(animal) || seen[pedigree::position(animal)]) return;
        seen[pedigree::position(animal)] = 1;
        found.push_back(animal);
    };
    for (const pedigree::AnimalIndex start : starts) visit(start);
    for (std::size_t k = 0; k < found.size(); ++k) {
        visit(pedigree.sire[pedigree::position(found[k])]);
        visit(pedigree.dam[pedigree::position(found[k])]);
    }
    for (const pedigree::AnimalIndex animal : found) seen[pedigree::position(animal)] = 0;
    return found.size();
}

}  // namespace

double steps_by_paths(const pedigree::Pedigree& pedigree, const ParentPairs& pairs,
                      std::size_t samples)
{
    std::vector<pedigree::AnimalIndex> distinct;
    for_each_pair(pairs, [&](std::size_t k, bool same_as_previous) {
        if (!same_as_previous) distinct.push_back(pairs.offspring[k]);
    });
    if (distinct.empty()) return 0;
    std::vector<std::uint8_t> seen(pedigree.size(), 0);
    std::vector<pedigree::AnimalIndex> found;
    double traced = 0;
    for (std::size_t s = 0; s < samples; ++s) {
        const pedigree::AnimalIndex child = distinct[s * distinct.size() / samples];
        traced += static_cast<double>(ancestry_size(
            pedigree,
            {pedigree.sire[pedigree::position(child)], pedigree.dam[pedigree::position(child)]},
            seen, found));
    }
    constexpr double steps_per_pair = 10;
    return (traced / static_cast<double>(samples) + steps_per_pair) *
           static_cast<double>(distinct.size());
}

}  // namespace pedsim::relationship
