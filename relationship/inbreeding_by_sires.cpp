#include "relationship/inbreeding_by_sires.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pedigree/indexing.h"
#include "relationship/buckets.h"
#include "relationship/lineage.h"
#include "shell/parallel.h"
#include "shell/stage_progress.h"

namespace pedsim::relationship {

namespace {

// The offspring of each sire with a known dam, ordered by dam.
struct SireFamilies {
    std::vector<pedigree::AnimalIndex> sires;  // each sire with offspring of known dams, once
    std::vector<std::size_t> first;            // its offspring: offspring[first[k] .. first[k + 1])
    std::vector<pedigree::AnimalIndex> offspring;  // by sire, then dam, then index

    std::span<const pedigree::AnimalIndex> of_sire(std::size_t k) const
    {
        return std::span(offspring).subspan(first[k], first[k + 1] - first[k]);
    }
};

SireFamilies sire_families(const pedigree::Pedigree& pedigree)
{
    SireFamilies families{{}, {}, by_sire_then_dam(pedigree)};
    for (std::size_t k = 0; k < families.offspring.size(); ++k) {
        const pedigree::AnimalIndex sire = pedigree.sire[pedigree::position(families.offspring[k])];
        if (!families.sires.empty() && families.sires.back() == sire) continue;
        families.sires.push_back(sire);
        families.first.push_back(k);
    }
    families.first.push_back(families.offspring.size());
    return families;
}

// The sires and all their ancestors, renumbered from 0 in their order in the
// pedigree (parents first): the passes over the relationship column of a sire
// stay among them, in arrays that fit the caches. Every other animal's sire
// is among them, so that the relationship of a sire with any other animal
// follows from its values here up that animal's line of dams: each mate's
// line lists, for a member, the member itself, and otherwise the sire of each
// dam up the line that is not a member, then the first member on the line,
// -1 standing for an unknown animal. Kept once for all sires, the lists are
// read one after the other where walking up the lines would miss the caches
// at every step.
struct SireLines {
    std::vector<pedigree::AnimalIndex> animal;         // each member's animal
    std::vector<std::array<std::int32_t, 2>> parents;  // members' parents, as members; -1 unknown
    std::vector<std::int32_t> member;                  // each animal's member number, or -1
    std::vector<std::size_t> line_begin;  // each animal's line: line[begin[i] .. begin[i + 1])
    std::vector<std::int32_t> line;

    std::span<const std::int32_t> line_of(pedigree::AnimalIndex mate) const
    {
        const std::size_t i = pedigree::position(mate);
        return std::span(line).subspan(line_begin[i], line_begin[i + 1] - line_begin[i]);
    }
};

constexpr std::int32_t none = -1;

// The sires and their ancestors as members, in the pedigree's order.
void add_members(const pedigree::Pedigree& pedigree, SireLines& lines)
{
    const std::vector<std::uint8_t> in = sires_and_their_ancestors(pedigree);
    lines.member.assign(pedigree.size(), none);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (!in[i]) continue;
        lines.member[i] = static_cast<std::int32_t>(lines.animal.size());
        lines.animal.push_back(pedigree::animal_at(i));
        const auto as_member = [&](pedigree::AnimalIndex parent) {
            return pedigree::is_known(parent) ? lines.member[pedigree::position(parent)] : none;
        };
        lines.parents.push_back({as_member(pedigree.sire[i]), as_member(pedigree.dam[i])});
    }
}

// The line of every mate, and of every animal up a mate's line of dams.
void add_lines(const pedigree::Pedigree& pedigree, SireLines& lines)
{
    std::vector<std::uint8_t> needed(pedigree.size(), 0);
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        if (pedigree::is_known(pedigree.sire[i]) && pedigree::is_known(pedigree.dam[i]))
            needed[pedigree::position(pedigree.dam[i])] = 1;
    for (std::size_t i = pedigree.size(); i-- > 0;)
        if (needed[i] && lines.member[i] == none && pedigree::is_known(pedigree.dam[i]))
            needed[pedigree::position(pedigree.dam[i])] = 1;
    lines.line_begin.assign(pedigree.size() + 1, 0);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        lines.line_begin[i] = lines.line.size();
        if (!needed[i]) continue;
        if (lines.member[i] != none) {
            lines.line.push_back(lines.member[i]);
            continue;
        }
        const pedigree::AnimalIndex sire = pedigree.sire[i], dam = pedigree.dam[i];
        lines.line.push_back(pedigree::is_known(sire) ? lines.member[pedigree::position(sire)]
                                                      : none);
        if (!pedigree::is_known(dam)) {
            lines.line.push_back(none);
            continue;
        }
        // The dam's line is complete already: parents come first.
        const std::size_t begin = lines.line_begin[pedigree::position(dam)];
        const std::size_t end = lines.line_begin[pedigree::position(dam) + 1];
        for (std::size_t k = begin; k < end; ++k) lines.line.push_back(lines.line[k]);
    }
    lines.line_begin[pedigree.size()] = lines.line.size();
}

SireLines sire_lines(const pedigree::Pedigree& pedigree)
{
    SireLines lines;
    add_members(pedigree, lines);
    add_lines(pedigree, lines);
    return lines;
}

// One thread's room for the passes of one sire, over the members of the sire
// lines: w = D T' e_s on the sire's ancestors and a = A e_s (zero outside the
// current sire's passes), the mark of the ancestors found, their list, and
// the sire's mates. Sized on the first sire the thread takes.
struct SireScratch {
    void claim(std::size_t members)
    {
        if (seen.size() == members) return;
        scaled.assign(members, 0.0);
        column.assign(members, 0.0);
        seen.assign(members, 0);
    }
    std::vector<double> scaled, column;
    std::vector<std::uint8_t> seen;
    std::vector<std::int32_t> ancestors;
    std::vector<pedigree::AnimalIndex> mates;
};

// w = D T' e_s on the sire and its ancestors, into scratch.scaled, listing
// them in scratch.ancestors in ascending order: from the youngest back, each
// member passes half its u to each parent, whose u is then complete;
// w_j = d_j u_j, d_j from the final F of j's parents.
void scale_backward(const pedigree::Pedigree& pedigree, const SireLines& lines,
                    const std::vector<double>& inbreeding, std::int32_t sire, SireScratch& scratch)
{
    std::vector<std::int32_t>& found = scratch.ancestors;
    found.assign(1, sire);
    scratch.seen[static_cast<std::size_t>(sire)] = 1;
    for (std::size_t k = 0; k < found.size(); ++k)
        for (const std::int32_t parent : lines.parents[static_cast<std::size_t>(found[k])])
            if (parent != none && !scratch.seen[static_cast<std::size_t>(parent)]) {
                scratch.seen[static_cast<std::size_t>(parent)] = 1;
                found.push_back(parent);
            }
    std::ranges::sort(found);
    scratch.scaled[static_cast<std::size_t>(sire)] = 1;
    for (auto k = found.size(); k-- > 0;) {
        const auto j = static_cast<std::size_t>(found[k]);
        scratch.seen[j] = 0;
        const double share = scratch.scaled[j];
        for (const std::int32_t parent : lines.parents[j])
            if (parent != none) scratch.scaled[static_cast<std::size_t>(parent)] += share / 2;
        scratch.scaled[j] =
            share * mendelian_variance(pedigree, inbreeding, pedigree::position(lines.animal[j]));
    }
}

// The last member on the lines of `mates` (-1 when none).
std::int32_t last_reached(const SireLines& lines, std::span<const pedigree::AnimalIndex> mates)
{
    std::int32_t last = none;
    for (const pedigree::AnimalIndex mate : mates)
        for (const std::int32_t member : lines.line_of(mate)) last = std::max(last, member);
    return last;
}

// a = T w over the members from the sire's oldest ancestor (below it a is
// zero) to `last`, parents first, into scratch.column.
void relate_forward(const SireLines& lines, std::int32_t last, SireScratch& scratch)
{
    const auto first = static_cast<std::size_t>(scratch.ancestors.front());
    for (std::size_t i = first; last != none && i <= static_cast<std::size_t>(last); ++i) {
        double from_parents = 0;
        for (const std::int32_t parent : lines.parents[i])
            if (parent != none) from_parents += scratch.column[static_cast<std::size_t>(parent)];
        scratch.column[i] = scratch.scaled[i] + from_parents / 2;
    }
}

// A(s, mate) from the values of the members on the mate's line: down the
// line of dams from its top, each dam's value is half the sum of its sire's
// and its own dam's.
double relationship_with_mate(const SireLines& lines, const SireScratch& scratch,
                              pedigree::AnimalIndex mate)
{
    const std::span<const std::int32_t> line = lines.line_of(mate);
    const auto value = [&](std::int32_t member) {
        return member == none ? 0.0 : scratch.column[static_cast<std::size_t>(member)];
    };
    double relationship = value(line.back());
    for (std::size_t k = line.size() - 1; k-- > 0;)
        relationship = (value(line[k]) + relationship) / 2;
    return relationship;
}

// F of the offspring of sire k of `families`: half of A(s, dam).
void inbreeding_of_sire(const pedigree::Pedigree& pedigree, const SireLines& lines,
                        const SireFamilies& families, std::size_t k, SireScratch& scratch,
                        std::vector<double>& inbreeding)
{
    const std::span<const pedigree::AnimalIndex> offspring = families.of_sire(k);
    const std::int32_t sire = lines.member[pedigree::position(families.sires[k])];
    scale_backward(pedigree, lines, inbreeding, sire, scratch);
    std::vector<pedigree::AnimalIndex>& mates = scratch.mates;
    mates.clear();
    for (const pedigree::AnimalIndex child : offspring)
        if (mates.empty() || mates.back() != pedigree.dam[pedigree::position(child)])
            mates.push_back(pedigree.dam[pedigree::position(child)]);
    const std::int32_t last = last_reached(lines, mates);
    relate_forward(lines, last, scratch);
    std::size_t m = 0;
    double relationship = relationship_with_mate(lines, scratch, mates[0]);
    for (const pedigree::AnimalIndex child : offspring) {
        if (pedigree.dam[pedigree::position(child)] != mates[m])
            relationship = relationship_with_mate(lines, scratch, mates[++m]);
        inbreeding[pedigree::position(child)] = relationship / 2;
    }
    for (const std::int32_t member : scratch.ancestors)
        scratch.scaled[static_cast<std::size_t>(member)] = 0;
    const auto first = static_cast<std::size_t>(scratch.ancestors.front());
    for (std::size_t i = first; last != none && i <= static_cast<std::size_t>(last); ++i)
        scratch.column[i] = 0;
}

}  // namespace

InbreedingByPaths inbreeding_by_sires(const pedigree::Pedigree& pedigree,
                                      const shell::ProgressReport& progress, std::size_t threads)
{
    shell::StageProgress stage(progress, "inbreeding by sires");
    const SireLines lines = sire_lines(pedigree);
    const SireFamilies families = sire_families(pedigree);
    // A sire's ancestors are all members: their depths are the pedigree's.
    std::vector<std::size_t> depth(lines.animal.size(), 0);
    for (std::size_t i = 0; i < depth.size(); ++i)
        for (const std::int32_t parent : lines.parents[i])
            if (parent != none)
                depth[i] = std::max(depth[i], depth[static_cast<std::size_t>(parent)] + 1);
    std::vector<std::size_t> sire_depth(families.sires.size());
    for (std::size_t k = 0; k < families.sires.size(); ++k)
        sire_depth[k] =
            depth[static_cast<std::size_t>(lines.member[pedigree::position(families.sires[k])])];
    const std::size_t depths = sire_depth.empty() ? 0 : std::ranges::max(sire_depth) + 1;
    const Buckets layers = bucket_by(sire_depth, depths);

    // Animals with an unknown parent keep F = 0.
    std::vector<double> inbreeding(pedigree.size(), 0.0);
    std::vector<SireScratch> scratch(threads);
    for (std::size_t d = 0; d < layers.size(); ++d) {
        // The layer lists the sires' places in `families`.
        const std::span<const pedigree::AnimalIndex> layer = layers.bucket(d);
        shell::for_each_chunk(
            layer.size(), 1,
            [&](std::size_t begin, std::size_t end, std::size_t worker) {
                scratch[worker].claim(lines.animal.size());
                for (std::size_t k = begin; k < end; ++k)
                    inbreeding_of_sire(pedigree, lines, families, pedigree::position(layer[k]),
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

}  // namespace pedsim::relationship
