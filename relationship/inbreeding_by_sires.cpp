#include "relationship/inbreeding_by_sires.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
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

// A member's a costs about this many times more computed alone, out of order
// of memory, than in relate_forward's pass over all (measured on herd books).
constexpr std::size_t marked_share = 4;

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
    // The dam's line is copied: its place, then the line, asked of memory
    // ahead (the dams of a herd book are scattered over years of births).
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        pedigree::prefetch_at_dam(pedigree, lines.line_begin, i + 2 * pedigree::dam_lookahead);
        if (const std::size_t ahead = i + pedigree::dam_lookahead;
            ahead < pedigree.size() && pedigree::is_known(pedigree.dam[ahead]))
            __builtin_prefetch(lines.line.data() +
                               lines.line_begin[pedigree::position(pedigree.dam[ahead])]);
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

// A set of members, a bit each.
struct MemberBits {
    std::vector<std::uint64_t> words;

    // True when `member` was not in the set yet.
    bool insert(std::int32_t member)
    {
        std::uint64_t& word = words[static_cast<std::size_t>(member) / 64];
        const std::uint64_t bit = std::uint64_t{1} << (member % 64);
        const bool added = (word & bit) == 0;
        word |= bit;
        return added;
    }
    // Empties the set, whose members all lie in [low, high].
    void clear(std::int32_t low, std::int32_t high)
    {
        std::fill(words.begin() + low / 64, words.begin() + high / 64 + 1, 0);
    }
};

// Calls visit(member) for the members of `bits` from `high` down to `low`,
// youngest first, including those visit() itself adds below the member it
// is given (its parents); stops when visit returns false.
template <typename Visit>
void for_each_descending(const MemberBits& bits, std::int32_t high, std::int32_t low, Visit visit)
{
    for (auto word = static_cast<std::size_t>(high) / 64 + 1;
         word-- > static_cast<std::size_t>(low) / 64;) {
        std::uint64_t below = ~std::uint64_t{0};
        for (std::uint64_t left = bits.words[word] & below; left != 0;
             left = bits.words[word] & below) {
            const int bit = 63 - std::countl_zero(left);
            below = (std::uint64_t{1} << bit) - 1;
            if (!visit(static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(bit))))
                return;
        }
    }
}

// Calls visit(member) for the members of `bits` from `low` to `high`, in
// ascending order.
template <typename Visit>
void for_each_ascending(const MemberBits& bits, std::int32_t low, std::int32_t high, Visit visit)
{
    for (auto word = static_cast<std::size_t>(low) / 64;
         word <= static_cast<std::size_t>(high) / 64; ++word)
        for (std::uint64_t left = bits.words[word]; left != 0; left &= left - 1)
            visit(word * 64 + static_cast<std::size_t>(std::countr_zero(left)));
}

// One thread's room for the passes of one sire, over the members of the sire
// lines: w = D T' e_s on the sire's ancestors and a = A e_s (zero outside the
// current sire's passes), the sire's ancestors and the members its mates'
// lines need, the sire's mates, and the d of each member once asked (a
// member's d follows from its parents' F, final before any sire descending
// from it is taken). Sized on the first sire the thread takes.
struct SireScratch {
    void claim(std::size_t members)
    {
        if (scaled.size() == members) return;
        scaled.assign(members, 0.0);
        column.assign(members, 0.0);
        variance.assign(members, std::numeric_limits<double>::quiet_NaN());
        ancestors.words.assign((members + 63) / 64, 0);
        needed.words.assign((members + 63) / 64, 0);
    }
    std::vector<double> scaled, column, variance;
    MemberBits ancestors, needed;
    std::int32_t oldest = none;  // the current sire's oldest ancestor
    std::vector<pedigree::AnimalIndex> mates;
};

// Marks the sire and its ancestors in scratch.ancestors and calls
// visit(member) for each, youngest first, so that every descendant of a
// member among them comes before it; sets scratch.oldest. Returns their number.
template <typename Visit>
std::size_t walk_ancestors(const SireLines& lines, std::int32_t sire, SireScratch& scratch,
                           Visit visit)
{
    scratch.ancestors.insert(sire);
    std::size_t waiting = 1, walked = 0;  // marked and not yet visited; visited
    for_each_descending(scratch.ancestors, sire, 0, [&](std::int32_t member) {
        visit(static_cast<std::size_t>(member));
        for (const std::int32_t parent : lines.parents[static_cast<std::size_t>(member)])
            if (parent != none) waiting += scratch.ancestors.insert(parent) ? 1 : 0;
        scratch.oldest = member;
        ++walked;
        return --waiting != 0;
    });
    return walked;
}

// w = D T' e_s on the sire and its ancestors, into scratch.scaled, marking
// them in scratch.ancestors: from the youngest back, each member passes half
// its u to each parent, whose u is then complete; w_j = d_j u_j.
void scale_backward(const pedigree::Pedigree& pedigree, const SireLines& lines,
                    const std::vector<double>& inbreeding, std::int32_t sire, SireScratch& scratch)
{
    scratch.scaled[static_cast<std::size_t>(sire)] = 1;
    walk_ancestors(lines, sire, scratch, [&](std::size_t j) {
        const double share = scratch.scaled[j];
        for (const std::int32_t parent : lines.parents[j])
            if (parent != none) scratch.scaled[static_cast<std::size_t>(parent)] += share / 2;
        double& variance = scratch.variance[j];
        if (std::isnan(variance))
            variance =
                mendelian_variance(pedigree, inbreeding, pedigree::position(lines.animal[j]));
        scratch.scaled[j] = share * variance;
    });
}

// The dams of a family (`dams`, ordered), each once, into `mates`.
void collect_mates(std::span<const pedigree::AnimalIndex> dams,
                   std::vector<pedigree::AnimalIndex>& mates)
{
    mates.clear();
    for (const pedigree::AnimalIndex dam : dams)
        if (mates.empty() || mates.back() != dam) mates.push_back(dam);
}

// Mates ahead whose lines are asked of memory: a mate's line stands
// wherever its number puts it, and the mates of a sire are scattered over
// years of births. Its place is asked twice as far ahead as the line itself,
// which the place locates (7% less time for inbreeding by sire on a herd
// book of a million animals, on one thread).
constexpr std::size_t line_places_ahead = 16, lines_ahead = 8;

// The last member on the lines of `mates` (-1 when none). The first reading
// of the lines: those after it find them in the caches.
std::int32_t last_reached(const SireLines& lines, std::span<const pedigree::AnimalIndex> mates)
{
    std::int32_t last = none;
    for (std::size_t k = 0; k < mates.size(); ++k) {
        if (k + line_places_ahead < mates.size())
            __builtin_prefetch(&lines.line_begin[pedigree::position(mates[k + line_places_ahead])]);
        if (k + lines_ahead < mates.size())
            __builtin_prefetch(
                &lines.line[lines.line_begin[pedigree::position(mates[k + lines_ahead])]]);
        for (const std::int32_t member : lines.line_of(mates[k])) last = std::max(last, member);
    }
    return last;
}

// a = T w over every member from `first`, the sire's oldest ancestor (below
// it a is zero), to `last`, parents first, into scratch.column.
void relate_forward(const SireLines& lines, std::int32_t first, std::int32_t last,
                    SireScratch& scratch)
{
    for (auto i = static_cast<std::size_t>(first); i <= static_cast<std::size_t>(last); ++i) {
        double from_parents = 0;
        for (const std::int32_t parent : lines.parents[i])
            if (parent != none) from_parents += scratch.column[static_cast<std::size_t>(parent)];
        scratch.column[i] = scratch.scaled[i] + from_parents / 2;
    }
}

// The members whose a the mates' lines need, into scratch.needed: the
// members on the lines and their ancestors, from `first` (the sire's oldest
// ancestor: an older member's a is 0, none of the sire's ancestors being
// among its own ancestors) to `last`. Returns their number.
std::size_t mark_needed(const SireLines& lines, std::span<const pedigree::AnimalIndex> mates,
                        std::int32_t first, std::int32_t last, SireScratch& scratch)
{
    const auto mark = [&](std::int32_t member) {
        if (member != none && member >= first) scratch.needed.insert(member);
    };
    for (const pedigree::AnimalIndex mate : mates)
        for (const std::int32_t member : lines.line_of(mate)) mark(member);
    std::size_t count = 0;
    for_each_descending(scratch.needed, last, first, [&](std::int32_t member) {
        ++count;
        for (const std::int32_t parent : lines.parents[static_cast<std::size_t>(member)])
            mark(parent);
        return true;
    });
    return count;
}

// a = T w on the members of scratch.needed alone, parents first, into
// scratch.column, each summed as relate_forward sums it (the same bits).
void relate_needed(const SireLines& lines, std::int32_t first, std::int32_t last,
                   SireScratch& scratch)
{
    for_each_ascending(scratch.needed, first, last, [&](std::size_t i) {
        double from_parents = 0;
        for (const std::int32_t parent : lines.parents[i])
            if (parent != none) from_parents += scratch.column[static_cast<std::size_t>(parent)];
        scratch.column[i] = scratch.scaled[i] + from_parents / 2;
    });
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
                        const ParentPairs& families, std::size_t k, SireScratch& scratch,
                        std::vector<double>& inbreeding)
{
    const std::span<const pedigree::AnimalIndex> offspring = families.offspring_of(k);
    const std::span<const pedigree::AnimalIndex> dams = families.dams_of(k);
    const std::int32_t sire = lines.member[pedigree::position(families.sires[k])];
    scale_backward(pedigree, lines, inbreeding, sire, scratch);
    std::vector<pedigree::AnimalIndex>& mates = scratch.mates;
    collect_mates(dams, mates);
    const std::int32_t last = last_reached(lines, mates);
    const std::int32_t first = scratch.oldest;
    // Mates whose lines end before the sire's oldest ancestor are unrelated
    // to it. The members the lines need are computed alone when they are few
    // enough among all those from the oldest ancestor on for their scattered
    // reads to pay; otherwise all are, in one pass.
    const bool related = last != none && last >= first;
    const bool marked = related && marked_share * mark_needed(lines, mates, first, last, scratch) <
                                       static_cast<std::size_t>(last - first + 1);
    if (marked)
        relate_needed(lines, first, last, scratch);
    else if (related)
        relate_forward(lines, first, last, scratch);
    std::size_t m = 0;
    double relationship = relationship_with_mate(lines, scratch, mates[0]);
    for (std::size_t child = 0; child < offspring.size(); ++child) {
        if (dams[child] != mates[m])
            relationship = relationship_with_mate(lines, scratch, mates[++m]);
        inbreeding[pedigree::position(offspring[child])] = relationship / 2;
    }
    for_each_ascending(scratch.ancestors, first, sire,
                       [&](std::size_t i) { scratch.scaled[i] = 0; });
    scratch.ancestors.clear(first, sire);
    if (!related) return;
    if (marked)
        for_each_ascending(scratch.needed, first, last,
                           [&](std::size_t i) { scratch.column[i] = 0; });
    else
        std::fill(scratch.column.begin() + first, scratch.column.begin() + last + 1, 0.0);
    scratch.needed.clear(first, last);
}

// The steps inbreeding_of_sire takes for sire k of `families`, in members
// passed by relate_forward: its ancestors and the members its mates need,
// each worth marked_share of them, or the pass over all members from its
// oldest ancestor when those are many; its mates' lines; its offspring.
double steps_of_sire(const SireLines& lines, const ParentPairs& families, std::size_t k,
                     SireScratch& scratch)
{
    const std::span<const pedigree::AnimalIndex> offspring = families.offspring_of(k);
    const std::int32_t sire = lines.member[pedigree::position(families.sires[k])];
    const std::size_t ancestors = walk_ancestors(lines, sire, scratch, [](std::size_t) {});
    const std::int32_t first = scratch.oldest;
    scratch.ancestors.clear(first, sire);
    std::vector<pedigree::AnimalIndex>& mates = scratch.mates;
    collect_mates(families.dams_of(k), mates);
    double line_entries = 0;
    for (const pedigree::AnimalIndex mate : mates)
        line_entries += static_cast<double>(lines.line_of(mate).size());
    double steps = static_cast<double>(marked_share * ancestors) + 2 * line_entries +
                   static_cast<double>(offspring.size());
    const std::int32_t last = last_reached(lines, mates);
    if (last == none || last < first) return steps;
    const std::size_t needed = mark_needed(lines, mates, first, last, scratch);
    scratch.needed.clear(first, last);
    const auto range = static_cast<std::size_t>(last - first + 1);
    return steps + static_cast<double>(marked_share * needed < range ? marked_share * needed
                                                                     : range + needed);
}

}  // namespace

struct SireMethod::Prepared {
    const pedigree::Pedigree& pedigree;
    SireLines lines;
    ParentPairs families;
};

SireMethod::SireMethod(const pedigree::Pedigree& pedigree, ParentPairs pairs)
    : prepared_(new Prepared{pedigree, sire_lines(pedigree), std::move(pairs)})
{}

SireMethod::~SireMethod() = default;

const ParentPairs& SireMethod::pairs() const { return prepared_->families; }

double SireMethod::estimated_steps(std::size_t samples) const
{
    const Prepared& prepared = *prepared_;
    const std::vector<std::size_t>& first = prepared.families.first;
    const std::size_t pairs = prepared.families.offspring.size();
    if (pairs == 0 || samples == 0) return 0;
    SireScratch scratch;
    scratch.claim(prepared.lines.animal.size());
    // Each sampled offspring stands for pairs / samples offspring, and brings
    // its share of its sire's steps.
    double steps = 0;
    for (std::size_t s = 0; s < samples; ++s) {
        const std::size_t pair = s * pairs / samples;
        const auto k =
            static_cast<std::size_t>(std::ranges::upper_bound(first, pair) - first.begin()) - 1;
        steps += steps_of_sire(prepared.lines, prepared.families, k, scratch) /
                 static_cast<double>(first[k + 1] - first[k]);
    }
    return steps * static_cast<double>(pairs) / static_cast<double>(samples);
}

InbreedingByPaths SireMethod::run(const shell::ProgressReport& progress, std::size_t threads) const
{
    shell::StageProgress stage(progress, "inbreeding by sires");
    const pedigree::Pedigree& pedigree = prepared_->pedigree;
    const SireLines& lines = prepared_->lines;
    const ParentPairs& families = prepared_->families;
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
    // Each d from its parents' F alone: on any number of threads alike.
    std::vector<double> variance(pedigree.size());
    shell::for_each_chunk(
        pedigree.size(), shell::chunk_for(pedigree.size(), threads),
        [&](std::size_t begin, std::size_t end, std::size_t) {
            for (std::size_t animal = begin; animal < end; ++animal) {
                pedigree::prefetch_at_dam(pedigree, inbreeding, animal + pedigree::dam_lookahead);
                variance[animal] = mendelian_variance(pedigree, inbreeding, animal);
            }
        },
        threads);
    return {std::move(inbreeding), std::move(variance)};
}

InbreedingByPaths inbreeding_by_sires(const pedigree::Pedigree& pedigree,
                                      const shell::ProgressReport& progress, std::size_t threads)
{
    return SireMethod(pedigree, by_sire_then_dam(pedigree)).run(progress, threads);
}

}  // namespace pedsim::relationship
