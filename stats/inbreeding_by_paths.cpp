#include "inbreeding_by_paths.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <tuple>

#include "indexing.h"
#include "parallel.h"
#include "stage_progress.h"

namespace pedsim::stats {

double mendelian_variance(const Pedigree& pedigree, const std::vector<double>& inbreeding,
                          std::size_t animal)
{
    const AnimalIndex sire = pedigree.sire[animal];
    const AnimalIndex dam = pedigree.dam[animal];
    if (is_known(sire) && is_known(dam))
        return 0.5 - (inbreeding[position(sire)] + inbreeding[position(dam)]) / 4;
    if (is_known(sire)) return 0.75 - inbreeding[position(sire)] / 4;
    if (is_known(dam)) return 0.75 - inbreeding[position(dam)] / 4;
    return 1;
}

namespace {

// Animals per chunk of a layer handed to one thread: enough to make the
// hand-over cheap against tracing a few ancestors each.
constexpr std::size_t animals_per_chunk = 64;

// One thread's room for tracing the ancestors of a pair of parents: the
// sire's and the dam's coefficient T_sj, T_dj of every animal j (zero outside
// the current trace), the mark of the animals found, and their list.
struct AncestorTrace {
    explicit AncestorTrace(std::size_t animals)
        : from_sire(animals, 0.0), from_dam(animals, 0.0), seen(animals, 0)
    {}
    std::vector<double> from_sire, from_dam;
    std::vector<std::uint8_t> seen;
    std::vector<AnimalIndex> ancestors;
};

// Lists the sire, the dam and all their ancestors, youngest (highest index)
// first, so that every animal comes after all its descendants in the list.
void gather_ancestors(const Pedigree& pedigree, AnimalIndex sire, AnimalIndex dam,
                      AncestorTrace& trace)
{
    std::vector<AnimalIndex>& list = trace.ancestors;
    list.clear();
    const auto visit = [&](AnimalIndex animal) {
        if (!is_known(animal) || trace.seen[position(animal)]) return;
        trace.seen[position(animal)] = 1;
        list.push_back(animal);
    };
    visit(sire);
    visit(dam);
    for (std::size_t k = 0; k < list.size(); ++k) {
        visit(pedigree.sire[position(list[k])]);
        visit(pedigree.dam[position(list[k])]);
    }
    std::ranges::sort(list, std::greater<>());
}

// Coancestry of `sire` and `dam`: half of sum_j T_sj T_dj d_j over their
// ancestors j. Leaves the trace zeroed for the next pair.
double coancestry_by_paths(const Pedigree& pedigree, const std::vector<double>& variance,
                           AnimalIndex sire, AnimalIndex dam, AncestorTrace& trace)
{
    gather_ancestors(pedigree, sire, dam, trace);
    trace.from_sire[position(sire)] = 1;
    trace.from_dam[position(dam)] += 1;
    double relationship = 0;
    for (const AnimalIndex ancestor : trace.ancestors) {
        const std::size_t j = position(ancestor);
        const double from_sire = trace.from_sire[j];
        const double from_dam = trace.from_dam[j];
        relationship += from_sire * from_dam * variance[j];
        for (const AnimalIndex parent : {pedigree.sire[j], pedigree.dam[j]}) {
            if (!is_known(parent)) continue;
            trace.from_sire[position(parent)] += from_sire / 2;
            trace.from_dam[position(parent)] += from_dam / 2;
        }
        trace.from_sire[j] = trace.from_dam[j] = 0;
        trace.seen[j] = 0;
    }
    return relationship / 2;
}

// For each animal with both parents known, the first animal with the same two
// parents (itself when it is the first); `unknown` for the others.
std::vector<AnimalIndex> first_with_same_parents(const Pedigree& pedigree)
{
    std::vector<AnimalIndex> with_parents;
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        if (is_known(pedigree.sire[animal]) && is_known(pedigree.dam[animal]))
            with_parents.push_back(animal_at(animal));
    const auto parents_then_index = [&](AnimalIndex a) {
        return std::tuple(pedigree.sire[position(a)], pedigree.dam[position(a)], a);
    };
    std::ranges::sort(with_parents, std::less<>(), parents_then_index);

    const auto same_parents = [&](AnimalIndex a, AnimalIndex b) {
        return pedigree.sire[position(a)] == pedigree.sire[position(b)] &&
               pedigree.dam[position(a)] == pedigree.dam[position(b)];
    };
    std::vector<AnimalIndex> first(pedigree.size(), unknown);
    for (std::size_t k = 0; k < with_parents.size(); ++k) {
        const AnimalIndex animal = with_parents[k];
        const bool follows = k > 0 && same_parents(with_parents[k - 1], animal);
        first[position(animal)] = follows ? first[position(with_parents[k - 1])] : animal;
    }
    return first;
}

// The animals in layers of equal depth, the depth being 0 for an animal
// without known parents and 1 + the larger depth of its known parents.
// Layer k holds animals[first[k] .. first[k + 1]).
struct DepthLayers {
    std::vector<AnimalIndex> animals;
    std::vector<std::size_t> first;
};

DepthLayers layers_by_depth(const Pedigree& pedigree)
{
    std::vector<std::size_t> depth(pedigree.size(), 0);
    std::size_t deepest = 0;
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal) {
        for (const AnimalIndex parent : {pedigree.sire[animal], pedigree.dam[animal]})
            if (is_known(parent))
                depth[animal] = std::max(depth[animal], depth[position(parent)] + 1);
        deepest = std::max(deepest, depth[animal]);
    }
    DepthLayers layers;
    layers.first.assign(pedigree.size() == 0 ? 1 : deepest + 2, 0);
    for (const std::size_t d : depth) ++layers.first[d + 1];
    for (std::size_t d = 1; d < layers.first.size(); ++d) layers.first[d] += layers.first[d - 1];
    std::vector<std::size_t> next(layers.first.begin(), layers.first.end() - 1);
    layers.animals.resize(pedigree.size());
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        layers.animals[next[depth[animal]]++] = animal_at(animal);
    return layers;
}

// Computes F for the animals of one layer: the first of each pair of parents
// by tracing, on all threads; the others copy it or, lacking a parent, are 0.
void inbreeding_of_layer(const Pedigree& pedigree, std::span<const AnimalIndex> layer,
                         const std::vector<AnimalIndex>& first_of_pair,
                         const std::vector<double>& variance, std::vector<AncestorTrace>& traces,
                         std::vector<double>& inbreeding)
{
    for_each_chunk(layer.size(), animals_per_chunk,
                   [&](std::size_t begin, std::size_t end, std::size_t worker) {
                       for (const AnimalIndex animal : layer.subspan(begin, end - begin)) {
                           const std::size_t i = position(animal);
                           if (first_of_pair[i] != animal) continue;
                           inbreeding[i] = coancestry_by_paths(pedigree, variance, pedigree.sire[i],
                                                               pedigree.dam[i], traces[worker]);
                       }
                   });
    for (const AnimalIndex animal : layer) {
        const std::size_t i = position(animal);
        const AnimalIndex first = first_of_pair[i];
        inbreeding[i] = is_known(first) ? inbreeding[position(first)] : 0.0;
    }
}

}  // namespace

std::vector<double> inbreeding_by_paths(const Pedigree& pedigree, const ProgressReport& progress)
{
    StageProgress stage(progress, "inbreeding by ancestor paths");
    const std::vector<AnimalIndex> first_of_pair = first_with_same_parents(pedigree);
    const DepthLayers layers = layers_by_depth(pedigree);
    std::vector<AncestorTrace> traces;
    for (std::size_t worker = 0; worker < worker_count(); ++worker)
        traces.emplace_back(pedigree.size());

    std::vector<double> inbreeding(pedigree.size(), 0.0);
    std::vector<double> variance(pedigree.size(), 1.0);
    for (std::size_t d = 0; d + 1 < layers.first.size(); ++d) {
        const auto layer = std::span(layers.animals)
                               .subspan(layers.first[d], layers.first[d + 1] - layers.first[d]);
        // The parents of this layer are in earlier ones, whose F is final.
        for (const AnimalIndex animal : layer)
            variance[position(animal)] = mendelian_variance(pedigree, inbreeding, position(animal));
        inbreeding_of_layer(pedigree, layer, first_of_pair, variance, traces, inbreeding);
        stage.update(layers.first[d + 1], pedigree.size());
    }
    return inbreeding;
}

}  // namespace pedsim::stats
