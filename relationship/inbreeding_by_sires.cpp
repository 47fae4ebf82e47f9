#include "relationship/inbreeding_by_sires.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pedigree/indexing.h"
#include "relationship/buckets.h"
#include "relationship/lineage.h"
#include "relationship/parallel.h"
#include "relationship/stage_progress.h"

namespace pedsim::stats {

namespace {

// The offspring of each sire with a known dam, ordered by dam.
struct SireFamilies {
    std::vector<AnimalIndex> sires;      // each sire with offspring of known dams, once
    std::vector<std::size_t> first;      // its offspring: offspring[first[k] .. first[k + 1])
    std::vector<AnimalIndex> offspring;  // by sire, then dam, then index

    std::span<const AnimalIndex> of_sire(std::size_t k) const
    {
        return std::span(offspring).subspan(first[k], first[k + 1] - first[k]);
    }
};

SireFamilies sire_families(const Pedigree& pedigree)
{
    SireFamilies families{{}, {}, by_sire_then_dam(pedigree)};
    for (std::size_t k = 0; k < families.offspring.size(); ++k) {
        const AnimalIndex sire = pedigree.sire[position(families.offspring[k])];
        if (!families.sires.empty() && families.sires.back() == sire) continue;
        families.sires.push_back(sire);
        families.first.push_back(k);
    }
    families.first.push_back(families.offspring.size());
    return families;
}

// One thread's room for the passes of one sire: w = D T' e_s on the sire's
// ancestors and a = A e_s on the reduced pedigree (zero outside the current
// sire's), the mark of the animals found, and their lists. Sized for the
// pedigree on the first sire the thread takes.
struct SireScratch {
    void claim(std::size_t animals)
    {
        if (seen.size() == animals) return;
        scaled.assign(animals, 0.0);
        column.assign(animals, 0.0);
        seen.assign(animals, 0);
    }
    std::vector<double> scaled, column;
    std::vector<std::uint8_t> seen;
    std::vector<AnimalIndex> ancestors, mates, reduced;
};

// Lists `starts` and all their ancestors in `found`, in ascending position:
// parents before offspring. Leaves scratch.seen set on them.
void gather(const Lineage& lineage, std::span<const AnimalIndex> starts, SireScratch& scratch,
            std::vector<AnimalIndex>& found)
{
    found.clear();
    const auto visit = [&](AnimalIndex animal) {
        if (!is_known(animal) || scratch.seen[position(animal)]) return;
        scratch.seen[position(animal)] = 1;
        found.push_back(animal);
    };
    for (const AnimalIndex start : starts) visit(start);
    for (std::size_t k = 0; k < found.size(); ++k)
        for (const AnimalIndex parent : lineage.parents[position(found[k])]) visit(parent);
    std::ranges::sort(found);
}

void forget(const std::vector<AnimalIndex>& found, SireScratch& scratch)
{
    for (const AnimalIndex animal : found) scratch.seen[position(animal)] = 0;
}

// w = D T' e_s on the sire and its ancestors, into scratch.scaled: from the
// youngest back, each animal passes half its u to each parent, whose u is
// then complete; w_j = d_j u_j, d_j from the final F of j's parents.
void scale_backward(const Pedigree& pedigree, const Lineage& lineage,
                    const std::vector<double>& inbreeding, AnimalIndex sire, SireScratch& scratch)
{
    gather(lineage, std::span(&sire, 1), scratch, scratch.ancestors);
    forget(scratch.ancestors, scratch);
    scratch.scaled[position(sire)] = 1;
    for (auto k = scratch.ancestors.size(); k-- > 0;) {
        const std::size_t j = position(scratch.ancestors[k]);
        const double share = scratch.scaled[j];
        for (const AnimalIndex parent : lineage.parents[j])
            if (is_known(parent)) scratch.scaled[position(parent)] += share / 2;
        scratch.scaled[j] = share * mendelian_variance(pedigree, inbreeding, j);
    }
}

// a = T w over the mates and their ancestors, parents first, into
// scratch.column.
void relate_forward(const Lineage& lineage, std::span<const AnimalIndex> mates,
                    SireScratch& scratch)
{
    gather(lineage, mates, scratch, scratch.reduced);
    forget(scratch.reduced, scratch);
    for (const AnimalIndex animal : scratch.reduced) {
        const std::size_t i = position(animal);
        double from_parents = 0;
        for (const AnimalIndex parent : lineage.parents[i])
            if (is_known(parent)) from_parents += scratch.column[position(parent)];
        scratch.column[i] = scratch.scaled[i] + from_parents / 2;
    }
}

// F of the offspring of sire k of `families`.
void inbreeding_of_sire(const Pedigree& pedigree, const Lineage& lineage,
                        const SireFamilies& families, std::size_t k, SireScratch& scratch,
                        std::vector<double>& inbreeding)
{
    const std::span<const AnimalIndex> offspring = families.of_sire(k);
    scale_backward(pedigree, lineage, inbreeding, families.sires[k], scratch);
    scratch.mates.clear();
    for (const AnimalIndex child : offspring)
        if (scratch.mates.empty() || scratch.mates.back() != pedigree.dam[position(child)])
            scratch.mates.push_back(pedigree.dam[position(child)]);
    relate_forward(lineage, scratch.mates, scratch);
    for (const AnimalIndex child : offspring)
        inbreeding[position(child)] = scratch.column[position(pedigree.dam[position(child)])] / 2;
    for (const AnimalIndex animal : scratch.ancestors) scratch.scaled[position(animal)] = 0;
    for (const AnimalIndex animal : scratch.reduced) scratch.column[position(animal)] = 0;
}

}  // namespace

InbreedingByPaths inbreeding_by_sires(const Pedigree& pedigree, const ProgressReport& progress,
                                      std::size_t threads)
{
    StageProgress stage(progress, "inbreeding by sires");
    const Lineage lineage = lineage_of(pedigree);
    const SireFamilies families = sire_families(pedigree);
    std::vector<std::size_t> sire_depth(families.sires.size());
    for (std::size_t k = 0; k < families.sires.size(); ++k)
        sire_depth[k] = lineage.depth[position(families.sires[k])];
    const std::size_t depths = sire_depth.empty() ? 0 : std::ranges::max(sire_depth) + 1;
    const Buckets layers = bucket_by(sire_depth, depths);

    // Animals with an unknown parent keep F = 0.
    std::vector<double> inbreeding(pedigree.size(), 0.0);
    std::vector<SireScratch> scratch(threads);
    for (std::size_t d = 0; d < layers.size(); ++d) {
        // The layer lists the sires' places in `families`.
        const std::span<const AnimalIndex> layer = layers.bucket(d);
        for_each_chunk(
            layer.size(), 1,
            [&](std::size_t begin, std::size_t end, std::size_t worker) {
                scratch[worker].claim(pedigree.size());
                for (std::size_t k = begin; k < end; ++k)
                    inbreeding_of_sire(pedigree, lineage, families, position(layer[k]),
                                       scratch[worker], inbreeding);
            },
            threads);
        stage.update(layers.first[d + 1], families.sires.size());
    }
    std::vector<double> variance(pedigree.size());
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        variance[animal] = mendelian_variance(pedigree, inbreeding, animal);
    return {std::move(inbreeding), std::move(variance)};
}

}  // namespace pedsim::stats
