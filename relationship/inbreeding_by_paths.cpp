#include "relationship/inbreeding_by_paths.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "pedigree/indexing.h"
#include "relationship/buckets.h"
#include "relationship/lineage.h"
#include "shell/parallel.h"
#include "shell/stage_progress.h"

namespace pedsim::relationship {

double mendelian_variance(const pedigree::Pedigree& pedigree, const std::vector<double>& inbreeding,
                          std::size_t animal)
{
    const pedigree::AnimalIndex sire = pedigree.sire[animal];
    const pedigree::AnimalIndex dam = pedigree.dam[animal];
    if (pedigree::is_known(sire) && pedigree::is_known(dam))
        return 0.5 -
               (inbreeding[pedigree::position(sire)] + inbreeding[pedigree::position(dam)]) / 4;
    if (pedigree::is_known(sire)) return 0.75 - inbreeding[pedigree::position(sire)] / 4;
    if (pedigree::is_known(dam)) return 0.75 - inbreeding[pedigree::position(dam)] / 4;
    return 1;
}

namespace {

// Animals per chunk of a layer handed to one thread: enough to make the
// hand-over cheap against tracing a few ancestors each.
constexpr std::size_t animals_per_chunk = 64;

// One thread's room for tracing the ancestors of a pair of parents: the
// sire's and the dam's coefficients T_sj, T_dj of every animal j (zero
// outside the current trace), the mark of the animals found, and their lists.
struct AncestorTrace {
    explicit AncestorTrace(std::size_t animals) : shares(animals), seen(animals, 0) {}
    std::vector<std::array<double, 2>> shares;
    std::vector<std::uint8_t> seen;
    std::vector<pedigree::AnimalIndex> found, ordered;
    std::vector<std::size_t> place;
};

// Lists the sire, the dam and all their ancestors in trace.ordered, deepest
// first (a counting sort on depth), so that every animal comes after all its
// descendants.
void gather_ancestors(const Lineage& lineage, pedigree::AnimalIndex sire, pedigree::AnimalIndex dam,
                      AncestorTrace& trace)
{
    std::vector<pedigree::AnimalIndex>& found = trace.found;
    found.clear();
    const auto visit = [&](pedigree::AnimalIndex animal) {
        if (!pedigree::is_known(animal) || trace.seen[pedigree::position(animal)]) return;
        trace.seen[pedigree::position(animal)] = 1;
        found.push_back(animal);
    };
    visit(sire);
    visit(dam);
    for (std::size_t k = 0; k < found.size(); ++k)
        for (const pedigree::AnimalIndex parent : lineage.parents[pedigree::position(found[k])])
            visit(parent);

    const std::size_t top =
        std::max(lineage.depth[pedigree::position(sire)], lineage.depth[pedigree::position(dam)]);
    trace.place.assign(top + 2, 0);
    for (const pedigree::AnimalIndex a : found)
        ++trace.place[top - lineage.depth[pedigree::position(a)] + 1];
    for (std::size_t d = 1; d < trace.place.size(); ++d) trace.place[d] += trace.place[d - 1];
    trace.ordered.resize(found.size());
    for (const pedigree::AnimalIndex a : found)
        trace.ordered[trace.place[top - lineage.depth[pedigree::position(a)]]++] = a;
}

// Coancestry of `sire` and `dam`: half of sum_j T_sj T_dj d_j over their
// ancestors j. Leaves the trace zeroed for the next pair.
double coancestry_by_paths(const Lineage& lineage, const std::vector<double>& variance,
                           pedigree::AnimalIndex sire, pedigree::AnimalIndex dam,
                           AncestorTrace& trace)
{
    gather_ancestors(lineage, sire, dam, trace);
    trace.shares[pedigree::position(sire)][0] = 1;
    trace.shares[pedigree::position(dam)][1] += 1;
    double relationship = 0;
    for (const pedigree::AnimalIndex ancestor : trace.ordered) {
        const std::size_t j = pedigree::position(ancestor);
        const auto [from_sire, from_dam] = trace.shares[j];
        relationship += from_sire * from_dam * variance[j];
        for (const pedigree::AnimalIndex parent : lineage.parents[j]) {
            if (!pedigree::is_known(parent)) continue;
            trace.shares[pedigree::position(parent)][0] += from_sire / 2;
            trace.shares[pedigree::position(parent)][1] += from_dam / 2;
        }
        trace.shares[j] = {0, 0};
        trace.seen[j] = 0;
    }
    return relationship / 2;
}

// Computes F for the animals of one layer: the first of each pair of parents
// by tracing, on all threads; the others copy it or, lacking a parent, are 0.
void inbreeding_of_layer(const Lineage& lineage, std::span<const pedigree::AnimalIndex> layer,
                         const std::vector<pedigree::AnimalIndex>& first_of_pair,
                         const std::vector<double>& variance, std::vector<AncestorTrace>& traces,
                         std::vector<double>& inbreeding)
{
    shell::for_each_chunk(
        layer.size(), animals_per_chunk,
        [&](std::size_t begin, std::size_t end, std::size_t worker) {
            for (const pedigree::AnimalIndex animal : layer.subspan(begin, end - begin)) {
                const std::size_t i = pedigree::position(animal);
                if (first_of_pair[i] != animal) continue;
                inbreeding[i] = coancestry_by_paths(lineage, variance, lineage.parents[i][0],
                                                    lineage.parents[i][1], traces[worker]);
            }
        });
    for (const pedigree::AnimalIndex animal : layer) {
        const std::size_t i = pedigree::position(animal);
        const pedigree::AnimalIndex first = first_of_pair[i];
        inbreeding[i] = pedigree::is_known(first) ? inbreeding[pedigree::position(first)] : 0.0;
    }
}

}  // namespace

InbreedingByPaths inbreeding_by_paths(const pedigree::Pedigree& pedigree,
                                      const shell::ProgressReport& progress)
{
    shell::StageProgress stage(progress, "inbreeding by ancestor paths");
    const std::vector<pedigree::AnimalIndex> first_of_pair =
        first_with_same_parents(pedigree, by_sire_then_dam(pedigree));
    const Lineage lineage = lineage_of(pedigree);
    const std::size_t depths = pedigree.size() == 0 ? 0 : std::ranges::max(lineage.depth) + 1;
    const Buckets layers = bucket_by(lineage.depth, depths);
    std::vector<AncestorTrace> traces;
    for (std::size_t worker = 0; worker < shell::worker_count(); ++worker)
        traces.emplace_back(pedigree.size());

    std::vector<double> inbreeding(pedigree.size(), 0.0);
    std::vector<double> variance(pedigree.size(), 1.0);
    for (std::size_t d = 0; d < layers.size(); ++d) {
        const std::span<const pedigree::AnimalIndex> layer = layers.bucket(d);
        // The parents of this layer are in earlier ones, whose F is final.
        for (const pedigree::AnimalIndex animal : layer)
            variance[pedigree::position(animal)] =
                mendelian_variance(pedigree, inbreeding, pedigree::position(animal));
        inbreeding_of_layer(lineage, layer, first_of_pair, variance, traces, inbreeding);
        stage.update(layers.first[d + 1], pedigree.size());
    }
    return {std::move(inbreeding), std::move(variance)};
}

}  // namespace pedsim::relationship
