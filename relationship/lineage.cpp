#include "relationship/lineage.h"

#include <algorithm>
#include <cstdint>

#include "pedigree/indexing.h"
#include "shell/parallel.h"

namespace pedsim::relationship {

Lineage lineage_of(const pedigree::Pedigree& pedigree)
{
    Lineage lineage{std::vector<std::array<pedigree::AnimalIndex, 2>>(pedigree.size()),
                    std::vector<std::size_t>(pedigree.size(), 0)};
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        lineage.parents[animal] = {pedigree.sire[animal], pedigree.dam[animal]};
        for (const pedigree::AnimalIndex parent : lineage.parents[animal])
            if (pedigree::is_known(parent))
                lineage.depth[animal] =
                    std::max(lineage.depth[animal], lineage.depth[pedigree::position(parent)] + 1);
    }
    return lineage;
}

// Animals whose families are sorted by one thread at a time.
constexpr std::size_t chunk_of_sires = 1 << 16;

// A counting sort by sire, whose counters stay in the caches (a herd book's
// sires are few, each with many offspring), then each sire's family sorted
// by dam and index as one 64-bit key: where a second counting sort by dam
// missed the caches at every animal (the dams are millions).
ParentPairs by_sire_then_dam(const pedigree::Pedigree& pedigree)
{
    const auto both_known = [&](std::size_t i) {
        return pedigree::is_known(pedigree.sire[i]) && pedigree::is_known(pedigree.dam[i]);
    };
    // start[s]: first the offspring of sire s, then where its family ends,
    // then, once they are placed, where it begins.
    std::vector<std::uint32_t> start(pedigree.size(), 0);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        if (both_known(i)) ++start[pedigree::position(pedigree.sire[i])];
    std::uint32_t families = 0;
    for (std::uint32_t& place : start) place = families += place;
    std::vector<std::uint64_t> keys(families);
    for (std::size_t i = pedigree.size(); i-- > 0;)
        if (both_known(i))
            keys[--start[pedigree::position(pedigree.sire[i])]] =
                std::uint64_t{static_cast<std::uint32_t>(pedigree.dam[i])} << 32 | i;
    // The families are sorted apart, so on any number of threads alike.
    shell::for_each_chunk(
        start.size(), chunk_of_sires, [&](std::size_t from, std::size_t to, std::size_t) {
            for (std::size_t s = from; s < to; ++s) {
                const std::uint32_t next = s + 1 < start.size() ? start[s + 1] : families;
                if (next - start[s] > 1) std::sort(keys.begin() + start[s], keys.begin() + next);
            }
        });
    ParentPairs pairs{std::vector<pedigree::AnimalIndex>(keys.size()),
                      std::vector<pedigree::AnimalIndex>(keys.size()),
                      {},
                      {}};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        pairs.offspring[k] = static_cast<pedigree::AnimalIndex>(keys[k] & 0xffffffffU);
        pairs.dam[k] = static_cast<pedigree::AnimalIndex>(keys[k] >> 32);
    }
    for (std::size_t s = 0; s < start.size(); ++s) {
        const std::uint32_t next = s + 1 < start.size() ? start[s + 1] : families;
        if (next == start[s]) continue;
        pairs.sires.push_back(pedigree::animal_at(s));
        pairs.first.push_back(start[s]);
    }
    pairs.first.push_back(keys.size());
    return pairs;
}

std::vector<std::uint8_t> sires_and_their_ancestors(const pedigree::Pedigree& pedigree)
{
    std::vector<std::uint8_t> in(pedigree.size(), 0);
    for (const pedigree::AnimalIndex sire : pedigree.sire)
        if (pedigree::is_known(sire)) in[pedigree::position(sire)] = 1;
    // Offspring come after their parents: one backward sweep closes the set.
    for (std::size_t i = pedigree.size(); i-- > 0;)
        if (in[i])
            for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
                if (pedigree::is_known(parent)) in[pedigree::position(parent)] = 1;
    return in;
}

std::vector<pedigree::AnimalIndex> first_with_same_parents(const pedigree::Pedigree& pedigree,
                                                           const ParentPairs& pairs)
{
    std::vector<pedigree::AnimalIndex> first(pedigree.size(), pedigree::unknown);
    pedigree::AnimalIndex first_of_these = pedigree::unknown;
    for_each_pair(pairs, [&](std::size_t k, bool same_as_previous) {
        if (!same_as_previous) first_of_these = pairs.offspring[k];
        first[pedigree::position(pairs.offspring[k])] = first_of_these;
    });
    return first;
}

}  // namespace pedsim::relationship
