#include "relationship/method_costs.h"

#include <algorithm>
#include <cstdint>

#include "pedigree/indexing.h"
#include "relationship/lineage.h"

namespace pedsim::stats {

namespace {

bool same_parents(const Pedigree& pedigree, AnimalIndex a, AnimalIndex b)
{
    return pedigree.sire[position(a)] == pedigree.sire[position(b)] &&
           pedigree.dam[position(a)] == pedigree.dam[position(b)];
}

// The number of animals that `starts` and their ancestors make, with marks in
// `seen` (all 0 on entry and on return) and `found` as room.
std::size_t ancestry_size(const Pedigree& pedigree, const std::vector<AnimalIndex>& starts,
                          std::vector<std::uint8_t>& seen, std::vector<AnimalIndex>& found)
{
    found.clear();
    const auto visit = [&](AnimalIndex animal) {
        if (!is_known(animal) || seen[position(animal)]) return;
        seen[position(animal)] = 1;
        found.push_back(animal);
    };
    for (const AnimalIndex start : starts) visit(start);
    for (std::size_t k = 0; k < found.size(); ++k) {
        visit(pedigree.sire[position(found[k])]);
        visit(pedigree.dam[position(found[k])]);
    }
    for (const AnimalIndex animal : found) seen[position(animal)] = 0;
    return found.size();
}

}  // namespace

double steps_by_sires(const Pedigree& pedigree, const std::vector<AnimalIndex>& pairs)
{
    const std::vector<std::uint8_t> member = sires_and_their_ancestors(pedigree);
    // members_before[i]: members standing before animal i; oldest[i]: the
    // first position among i and its ancestors. 32 bits hold every position
    // (an AnimalIndex does), and halve the memory the pass reads at random.
    std::vector<std::uint32_t> members_before(pedigree.size() + 1, 0);
    std::vector<std::uint32_t> oldest(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        members_before[i + 1] = members_before[i] + member[i];
        oldest[i] = static_cast<std::uint32_t>(i);
        for (const AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (is_known(parent)) oldest[i] = std::min(oldest[i], oldest[position(parent)]);
    }
    double steps = static_cast<double>(pairs.size());
    for (std::size_t k = 0; k < pairs.size();) {
        const AnimalIndex sire = pedigree.sire[position(pairs[k])];
        std::size_t last_mate = 0;
        for (; k < pairs.size() && pedigree.sire[position(pairs[k])] == sire; ++k)
            last_mate = std::max(last_mate, position(pedigree.dam[position(pairs[k])]));
        const std::size_t first = oldest[position(sire)];
        if (last_mate >= first)
            steps += static_cast<double>(members_before[last_mate + 1] - members_before[first]);
    }
    return steps;
}

double steps_by_paths(const Pedigree& pedigree, const std::vector<AnimalIndex>& pairs,
                      std::size_t samples)
{
    std::vector<AnimalIndex> distinct;
    for (std::size_t k = 0; k < pairs.size(); ++k)
        if (k == 0 || !same_parents(pedigree, pairs[k - 1], pairs[k])) distinct.push_back(pairs[k]);
    if (distinct.empty()) return 0;
    std::vector<std::uint8_t> seen(pedigree.size(), 0);
    std::vector<AnimalIndex> found;
    double traced = 0;
    for (std::size_t s = 0; s < samples; ++s) {
        const AnimalIndex child = distinct[s * distinct.size() / samples];
        traced += static_cast<double>(
            ancestry_size(pedigree, {pedigree.sire[position(child)], pedigree.dam[position(child)]},
                          seen, found));
    }
    constexpr double steps_per_pair = 10;
    return (traced / static_cast<double>(samples) + steps_per_pair) *
           static_cast<double>(distinct.size());
}

}  // namespace pedsim::stats
