#include "relationship/discrete_generations.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <span>
#include <utility>

#include "pedigree/indexing.h"
#include "relationship/family_matrix.h"
#include "relationship/pedigree_components.h"
#include "shell/parallel.h"
#include "shell/stage_progress.h"

namespace pedsim::relationship {

namespace {

// e of an unknown parent, which stands for a founder of its own: (1 + 0)/2.
constexpr double phantom_excess = 0.5;

// Offspring of each animal; an animal that is both parents of one offspring
// counts it twice, as it stands twice among that offspring's parents.
std::vector<double> offspring_counts(const pedigree::Pedigree& pedigree)
{
    std::vector<double> offspring(pedigree.size(), 0.0);
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[animal], pedigree.dam[animal]})
            if (pedigree::is_known(parent)) ++offspring[pedigree::position(parent)];
    return offspring;
}

// The animals of one group that have offspring, and their families: the
// distinct sire-dam pairs of the non-founders are families 0 .. size - 1,
// each animal with one unknown parent a family of its own (its unknown parent
// being a founder of its own), and the founders share family `size`, the last.
struct ParentFamilies {
    std::vector<pedigree::AnimalIndex> parents;  // ascending
    std::vector<std::size_t> family;             // family of each of `parents`
    std::vector<pedigree::AnimalIndex> sire;     // sire of each family of non-founders
    std::vector<pedigree::AnimalIndex> dam;      // dam of each family of non-founders, or unknown

    std::size_t count() const { return sire.size() + 1; }
};

ParentFamilies parent_families(const pedigree::Pedigree& pedigree,
                               std::span<const pedigree::AnimalIndex> members,
                               const std::vector<double>& offspring)
{
    ParentFamilies families;
    std::ranges::copy_if(
        members, std::back_inserter(families.parents),
        [&](pedigree::AnimalIndex a) { return offspring[pedigree::position(a)] > 0; });
    const auto parents_of = [&](std::size_t k) {
        const std::size_t animal = pedigree::position(families.parents[k]);
        return std::pair(pedigree.sire[animal], pedigree.dam[animal]);
    };
    std::vector<std::size_t> by_parents(families.parents.size());
    std::iota(by_parents.begin(), by_parents.end(), std::size_t{0});
    std::ranges::sort(by_parents, std::less<>(), parents_of);

    constexpr std::size_t founders = std::numeric_limits<std::size_t>::max();
    families.family.assign(families.parents.size(), founders);
    for (const std::size_t k : by_parents) {
        const auto [sire, dam] = parents_of(k);
        if (!pedigree::is_known(sire) && !pedigree::is_known(dam)) continue;  // a founder
        const bool full_sib = !families.sire.empty() && pedigree::is_known(sire) &&
                              pedigree::is_known(dam) && families.sire.back() == sire &&
                              families.dam.back() == dam;
        if (!full_sib) {
            families.sire.push_back(sire);
            families.dam.push_back(dam);
        }
        families.family[k] = families.sire.size() - 1;
    }
    std::ranges::replace(families.family, founders, families.sire.size());
    return families;
}

// The animals of each population, group by group: the steps through which
// each population's matrix is carried. Animals with neither parent nor
// offspring stand with the first population, so that a pedigree of one
// population is carried through its groups as they are. 4 bytes an animal
// and 8 a part (a population's animals in one group).
class PopulationParts {
public:
    PopulationParts(const pedigree::Pedigree& pedigree, const GenerationGroups& groups)
    {
        const std::vector<std::uint32_t> component = pedigree_components(pedigree);
        const auto population_of = [&](pedigree::AnimalIndex a) {
            const std::uint32_t c = component[pedigree::position(a)];
            return c == lone_animal ? 0 : std::size_t{c};
        };
        std::size_t populations = 1;
        for (const std::uint32_t c : component)
            if (c != lone_animal)
                populations = std::max<std::size_t>(populations, c + std::size_t{1});
        // A counting sort by population of the animals taken group after
        // group: each population's come out by group, ascending within one.
        std::vector<std::size_t> first_member(populations + 1, 0);
        for (std::size_t i = 0; i < pedigree.size(); ++i)
            ++first_member[population_of(pedigree::animal_at(i)) + 1];
        std::partial_sum(first_member.begin(), first_member.end(), first_member.begin());
        std::vector<std::size_t> next(first_member.begin(), first_member.end() - 1);
        members_.resize(pedigree.size());
        for (std::size_t g = 0; g < groups.size(); ++g)
            for (const pedigree::AnimalIndex a : groups.members(g))
                members_[next[population_of(a)]++] = a;
        // Then each population's runs of one group.
        const auto group_at = [&](std::size_t k) {
            return static_cast<std::uint32_t>(groups.group_of[pedigree::position(members_[k])]);
        };
        first_part_.push_back(0);
        for (std::size_t p = 0; p < populations; ++p) {
            for (std::size_t k = first_member[p]; k < first_member[p + 1]; ++k) {
                if (k == first_member[p] || group_at(k) != group_at(k - 1))
                    parts_.push_back({group_at(k), 0});
                parts_.back().end = static_cast<std::uint32_t>(k + 1);
            }
            first_part_.push_back(parts_.size());
        }
    }

    std::size_t count() const { return first_part_.size() - 1; }
    std::size_t part_count() const { return parts_.size(); }
    // The parts of population p are first_part(p) .. first_part(p + 1) - 1.
    std::size_t first_part(std::size_t p) const { return first_part_[p]; }
    std::size_t group(std::size_t part) const { return parts_[part].group; }
    std::span<const pedigree::AnimalIndex> members(std::size_t part) const
    {
        const std::size_t begin = part == 0 ? 0 : parts_[part - 1].end;
        return std::span(members_).subspan(begin, parts_[part].end - begin);
    }

private:
    struct Part {
        std::uint32_t group;
        std::uint32_t end;  // one past its last animal in members_
    };
    std::vector<pedigree::AnimalIndex> members_;  // by population, then group
    std::vector<Part> parts_;                     // by population, then group
    std::vector<std::size_t> first_part_;         // of each population, and one past the last
};

// What filling the rows of the next C needs besides the current one: the
// current families of each next family's sire and dam, and every (parent,
// next family) pair in order, so that the families sharing a parent are found
// by a binary search.
struct FamilyLinks {
    std::vector<std::uint32_t> sire_family, dam_family;
    std::vector<std::pair<pedigree::AnimalIndex, std::uint32_t>> memberships;
};

// The coancestries among the parents of the group last carried forward, and
// the state that turns them into the next group's F, coancestries and sum of
// coancestries. One population is carried at a time: populations share no
// ancestor, so each one's matrix holds its own families only, and a pedigree
// of several costs the sum of their squares.
class CoancestryCarrier {
public:
    CoancestryCarrier(const pedigree::Pedigree& pedigree, std::vector<double>& inbreeding)
        : pedigree_(pedigree), inbreeding_(inbreeding), offspring_(offspring_counts(pedigree)),
          family_(pedigree.size(), 0), excess_(pedigree.size(), 0.0),
          row_sums_(shell::worker_count())
    {
        start_population();
    }

    // Before a population's first group, only the founders' family. family_
    // and excess_ keep other populations' entries, which this one never reads.
    void start_population()
    {
        const double founders_only = 0;
        matrix_.assign_upper({&founders_only, 1}, 1);
    }
    void enter_inbreeding(std::span<const pedigree::AnimalIndex> members);
    double coancestry_sum(std::span<const pedigree::AnimalIndex> members);
    bool carry_forward(std::span<const pedigree::AnimalIndex> members,
                       std::size_t families_allowed);

private:
    // The founders' family is the last of the current matrix, whichever
    // group a founder stands in.
    std::size_t family_of(pedigree::AnimalIndex a) const
    {
        return pedigree::is_founder(pedigree_, pedigree::position(a))
                   ? matrix_.size() - 1
                   : family_[pedigree::position(a)];
    }
    // f_ab of two known parents of the next group.
    double coancestry(pedigree::AnimalIndex a, pedigree::AnimalIndex b) const
    {
        const double shared = matrix_.row(family_of(a))[family_of(b)];
        return a == b ? shared + excess_[pedigree::position(a)] : shared;
    }
    // f_aa of a parent; an unknown one, a founder of its own, has 1/2.
    double self_coancestry(pedigree::AnimalIndex a) const
    {
        return pedigree::is_known(a) ? coancestry(a, a) : phantom_excess;
    }
    double same_parent_sum(std::span<const pedigree::AnimalIndex> members);
    FamilyLinks links_of(const ParentFamilies& next) const;
    void fill_row(const ParentFamilies& next, const FamilyLinks& links, std::size_t row,
                  std::vector<double>& sums, double* out) const;

    const pedigree::Pedigree& pedigree_;
    std::vector<double>& inbreeding_;
    std::vector<double> offspring_;
    std::vector<std::uint32_t> family_;           // family of each parent of the current matrix
    std::vector<double> excess_;                  // e_a of each parent of the current matrix
    std::vector<pedigree::AnimalIndex> parents_;  // scratch: the known parents of a group's animals
    FamilyMatrix matrix_;
    std::vector<double> upper_;  // the next matrix's upper triangle, kept for its storage
    std::vector<std::vector<double>> row_sums_;  // one scratch row per thread
};

void CoancestryCarrier::enter_inbreeding(std::span<const pedigree::AnimalIndex> members)
{
    for (const pedigree::AnimalIndex animal : members) {
        const std::size_t i = pedigree::position(animal);
        if (pedigree::is_known(pedigree_.sire[i]) && pedigree::is_known(pedigree_.dam[i]))
            inbreeding_[i] = coancestry(pedigree_.sire[i], pedigree_.dam[i]);
    }
}

// sum_a z_a^2 e_a over the parents a of the group's animals, z_a the
// offspring of a in the group, in ascending order of a; each unknown parent,
// a founder of its own, adds its e once.
double CoancestryCarrier::same_parent_sum(std::span<const pedigree::AnimalIndex> members)
{
    parents_.clear();
    std::size_t unknown_parents = 0;
    for (const pedigree::AnimalIndex animal : members) {
        const std::size_t i = pedigree::position(animal);
        if (pedigree::is_founder(pedigree_, i)) continue;
        for (const pedigree::AnimalIndex parent : {pedigree_.sire[i], pedigree_.dam[i]}) {
            if (pedigree::is_known(parent))
                parents_.push_back(parent);
            else
                ++unknown_parents;
        }
    }
    std::ranges::sort(parents_);
    double sum = 0;
    for (auto run = parents_.begin(); run != parents_.end();) {
        const auto next = std::ranges::find_if(run, parents_.end(),
                                               [&](pedigree::AnimalIndex a) { return a != *run; });
        const auto offspring = static_cast<double>(next - run);
        sum += offspring * offspring * excess_[pedigree::position(*run)];
        run = next;
    }
    return unknown_parents == 0 ? sum : sum + phantom_excess * static_cast<double>(unknown_parents);
}

// Sum over all ordered pairs of `members`: for two non-founders the mean of
// their parents' four coancestries, i.e. (y'Cy + sum_a z_a^2 e_a) / 4 with z_a
// the offspring of each parent and y_f their sums per family, less that value
// for each animal with itself, replaced by (1 + F_i)/2; a founder adds 1/2.
double CoancestryCarrier::coancestry_sum(std::span<const pedigree::AnimalIndex> members)
{
    std::vector<double> y(matrix_.size(), 0.0);
    double own = 0;
    for (const pedigree::AnimalIndex animal : members) {
        const std::size_t i = pedigree::position(animal);
        if (pedigree::is_founder(pedigree_, i)) {
            own += 0.5;
            continue;
        }
        const pedigree::AnimalIndex sire = pedigree_.sire[i], dam = pedigree_.dam[i];
        const double full_sibs =
            (self_coancestry(sire) + self_coancestry(dam) + 2 * inbreeding_[i]) / 4;
        own += (1 + inbreeding_[i]) / 2 - full_sibs;
        for (const pedigree::AnimalIndex parent : {sire, dam})
            if (pedigree::is_known(parent)) ++y[family_of(parent)];
    }
    const double same_parent = same_parent_sum(members);
    return (matrix_.quadratic_form(y) + same_parent) / 4 + own;
}

FamilyLinks CoancestryCarrier::links_of(const ParentFamilies& next) const
{
    FamilyLinks links;
    const auto family_or_founders = [&](pedigree::AnimalIndex parent) {
        return static_cast<std::uint32_t>(pedigree::is_known(parent) ? family_of(parent)
                                                                     : matrix_.size() - 1);
    };
    for (std::uint32_t f = 0; f < next.sire.size(); ++f) {
        links.sire_family.push_back(family_or_founders(next.sire[f]));
        links.dam_family.push_back(family_or_founders(next.dam[f]));
        for (const pedigree::AnimalIndex parent : {next.sire[f], next.dam[f]})
            if (pedigree::is_known(parent)) links.memberships.emplace_back(parent, f);
    }
    std::ranges::sort(links.memberships);
    return links;
}

// The upper part (columns from `row` on) of a row of the next C:
// C'[f][g] = (sum over the parents a of f and b of g of f_ab) / 4, from the
// sum of the current rows of f's sire and dam, plus e_a for each parent a
// that f and g share. An unknown parent is shared by no family: its own is
// of one animal, whose diagonal entry is only read beside that animal's e.
void CoancestryCarrier::fill_row(const ParentFamilies& next, const FamilyLinks& links,
                                 std::size_t row, std::vector<double>& sums, double* out) const
{
    const double* sire_row = matrix_.row(links.sire_family[row]);
    const double* dam_row = matrix_.row(links.dam_family[row]);
    sums.resize(matrix_.size());
    for (std::size_t k = 0; k < matrix_.size(); ++k) sums[k] = sire_row[k] + dam_row[k];
    const std::size_t columns = next.sire.size();
    for (std::size_t f = row; f < columns; ++f)
        out[f] = sums[links.sire_family[f]] + sums[links.dam_family[f]];
    for (const pedigree::AnimalIndex parent : {next.sire[row], next.dam[row]}) {
        if (!pedigree::is_known(parent)) continue;
        // The families that have `parent` as a parent: memberships are sorted by animal.
        auto member = std::lower_bound(links.memberships.begin(), links.memberships.end(),
                                       std::pair(parent, std::uint32_t{0}));
        for (; member != links.memberships.end() && member->first == parent; ++member)
            if (member->second >= row)
                out[member->second] += excess_[pedigree::position(member->first)];
    }
    for (std::size_t f = row; f < columns; ++f) out[f] /= 4;
    out[columns] = 0;  // the founders' family
}

// Replaces C by the coancestries among the parents in `members`; false,
// leaving C as it was, when they come from more than `families_allowed`
// families.
bool CoancestryCarrier::carry_forward(std::span<const pedigree::AnimalIndex> members,
                                      std::size_t families_allowed)
{
    const ParentFamilies next = parent_families(pedigree_, members, offspring_);
    if (next.count() > families_allowed) return false;
    const FamilyLinks links = links_of(next);
    const std::size_t count = next.count();
    // The next C's upper triangle, row f at upper_offset(f, count); fill_row
    // writes columns f .. count - 1 of row f, indexed from the row's start.
    std::vector<double>& upper = upper_;
    upper.resize(FamilyMatrix::upper_offset(count, count));
    shell::for_each_chunk(count - 1, rows_per_chunk(count),
                          [&](std::size_t begin, std::size_t end, std::size_t worker) {
                              for (std::size_t f = begin; f < end; ++f)
                                  fill_row(next, links, f, row_sums_[worker],
                                           upper.data() + FamilyMatrix::upper_offset(f, count) - f);
                          });
    upper.back() = 0;  // the founders' family with itself
    matrix_.assign_upper(upper, count);

    for (std::size_t k = 0; k < next.parents.size(); ++k) {
        const std::size_t animal = pedigree::position(next.parents[k]);
        family_[animal] = static_cast<std::uint32_t>(next.family[k]);
        excess_[animal] =
            (1 + inbreeding_[animal]) / 2 - matrix_.row(family_[animal])[family_[animal]];
    }
    return true;
}

}  // namespace

std::size_t most_families(std::size_t animals)
{
    constexpr double gibibyte = 1024.0 * 1024 * 1024;
    const double n = static_cast<double>(animals);
    const double for_matrices = std::max(gibibyte, 300 * n) - 200 * n;
    return static_cast<std::size_t>(std::sqrt(for_matrices / 13));
}

bool has_discrete_generations(const pedigree::Pedigree& pedigree, const GenerationGroups& groups)
{
    // First the checks that need no memory: on a herd book an animal with a
    // parent born a few groups earlier ends the question within its first
    // rows, before an array of the pedigree's size is filled (fresh pages of
    // which cost a fault each).
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const std::size_t group = groups.group_of[i];
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]}) {
            if (!pedigree::is_known(parent)) continue;
            const std::size_t p = pedigree::position(parent);
            const bool founder = pedigree::is_founder(pedigree, p);
            if (!founder && groups.group_of[p] + 1 != group) return false;
            if (founder && groups.group_of[p] >= group) return false;
        }
    }
    // Then the one group of each founder's offspring, once it has some.
    constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
    std::vector<std::size_t> offspring_group(pedigree.size(), none);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const std::size_t group = groups.group_of[i];
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]}) {
            if (!pedigree::is_known(parent)) continue;
            const std::size_t p = pedigree::position(parent);
            if (!pedigree::is_founder(pedigree, p)) continue;
            if (offspring_group[p] != none && offspring_group[p] != group) return false;
            offspring_group[p] = group;
        }
    }
    return true;
}

std::optional<Relatedness> coancestry_carried_forward(const pedigree::Pedigree& pedigree,
                                                      const GenerationGroups& groups,
                                                      std::size_t families_allowed,
                                                      const shell::ProgressReport& progress)
{
    shell::StageProgress stage(progress, "coancestry carried forward by generation");
    Relatedness found{std::vector<double>(pedigree.size(), 0.0),
                      std::vector<double>(groups.size())};
    const PopulationParts populations(pedigree, groups);
    CoancestryCarrier carrier(pedigree, found.inbreeding);
    // Each group's sum over its pairs, population after population: pairs
    // of two populations add nothing.
    std::vector<double> sums(groups.size(), 0.0);
    for (std::size_t p = 0; p < populations.count(); ++p) {
        carrier.start_population();
        for (std::size_t part = populations.first_part(p); part < populations.first_part(p + 1);
             ++part) {
            const std::span<const pedigree::AnimalIndex> members = populations.members(part);
            carrier.enter_inbreeding(members);
            sums[populations.group(part)] += carrier.coancestry_sum(members);
            if (!carrier.carry_forward(members, families_allowed)) return std::nullopt;
            stage.update(part + 1, populations.part_count());
        }
    }
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const auto n = static_cast<double>(groups.members(g).size());
        found.mean_coancestry[g] = sums[g] / (n * n);
    }
    return found;
}

}  // namespace pedsim::relationship
