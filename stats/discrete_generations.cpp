#include "discrete_generations.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>
#include <span>
#include <utility>

#include "family_matrix.h"
#include "indexing.h"
#include "parallel.h"
#include "stage_progress.h"

namespace pedsim::stats {

namespace {

// Offspring of each animal; an animal that is both parents of one offspring
// counts it twice, as it stands twice among that offspring's parents.
std::vector<double> offspring_counts(const Pedigree& pedigree)
{
    std::vector<double> offspring(pedigree.size(), 0.0);
    for (std::size_t animal = 0; animal < pedigree.size(); ++animal)
        for (const AnimalIndex parent : {pedigree.sire[animal], pedigree.dam[animal]})
            if (is_known(parent)) ++offspring[position(parent)];
    return offspring;
}

// The animals of one group that have offspring, and their families: the
// distinct sire-dam pairs of the non-founders are families 0 .. size - 1,
// and the founders share family `size`, the last.
struct ParentFamilies {
    std::vector<AnimalIndex> parents;  // ascending
    std::vector<std::size_t> family;   // family of each of `parents`
    std::vector<AnimalIndex> sire;     // sire of each family of non-founders
    std::vector<AnimalIndex> dam;      // dam of each family of non-founders

    std::size_t count() const { return sire.size() + 1; }
};

ParentFamilies parent_families(const Pedigree& pedigree, std::span<const AnimalIndex> members,
                               const std::vector<double>& offspring)
{
    ParentFamilies families;
    std::ranges::copy_if(members, std::back_inserter(families.parents),
                         [&](AnimalIndex a) { return offspring[position(a)] > 0; });
    const auto parents_of = [&](std::size_t k) {
        const std::size_t animal = position(families.parents[k]);
        return std::pair(pedigree.sire[animal], pedigree.dam[animal]);
    };
    std::vector<std::size_t> by_parents(families.parents.size());
    std::iota(by_parents.begin(), by_parents.end(), std::size_t{0});
    std::ranges::sort(by_parents, std::less<>(), parents_of);

    constexpr std::size_t founders = std::numeric_limits<std::size_t>::max();
    families.family.assign(families.parents.size(), founders);
    for (const std::size_t k : by_parents) {
        const auto [sire, dam] = parents_of(k);
        if (!is_known(sire)) continue;  // a founder: in discrete generations both are unknown
        if (families.sire.empty() || families.sire.back() != sire || families.dam.back() != dam) {
            families.sire.push_back(sire);
            families.dam.push_back(dam);
        }
        families.family[k] = families.sire.size() - 1;
    }
    std::ranges::replace(families.family, founders, families.sire.size());
    return families;
}

// What filling the rows of the next C needs besides the current one: the
// current families of each next family's sire and dam, and every (parent,
// next family) pair in order, so that the families sharing a parent are found
// by a binary search.
struct FamilyLinks {
    std::vector<std::uint32_t> sire_family, dam_family;
    std::vector<std::pair<AnimalIndex, std::uint32_t>> memberships;
};

// The coancestries among the parents of the group last carried forward, and
// the state that turns them into the next group's F, mean and coancestries.
class CoancestryCarrier {
public:
    CoancestryCarrier(const Pedigree& pedigree, std::vector<double>& inbreeding)
        : pedigree_(pedigree), inbreeding_(inbreeding), offspring_(offspring_counts(pedigree)),
          family_(pedigree.size(), 0), excess_(pedigree.size(), 0.0), row_sums_(worker_count())
    {
        matrix_.resize(1);  // before the first group, only the founders' family
        matrix_.row(0)[0] = 0;
    }

    void enter_inbreeding(std::span<const AnimalIndex> members);
    double mean_coancestry(std::span<const AnimalIndex> members) const;
    void carry_forward(std::span<const AnimalIndex> members);

private:
    double coancestry(AnimalIndex a, AnimalIndex b) const
    {
        const double shared = matrix_.row(family_[position(a)])[family_[position(b)]];
        return a == b ? shared + excess_[position(a)] : shared;
    }
    FamilyLinks links_of(const ParentFamilies& next) const;
    void fill_row(const ParentFamilies& next, const FamilyLinks& links, std::size_t row,
                  std::vector<double>& sums, double* out) const;

    const Pedigree& pedigree_;
    std::vector<double>& inbreeding_;
    std::vector<double> offspring_;
    std::vector<std::uint32_t> family_;  // family of each parent of the current matrix
    std::vector<double> excess_;         // e_a of each parent of the current matrix
    std::vector<AnimalIndex> parents_;   // the parents of the current matrix
    FamilyMatrix matrix_, next_matrix_;
    std::vector<std::vector<double>> row_sums_;  // one scratch row per thread
};

void CoancestryCarrier::enter_inbreeding(std::span<const AnimalIndex> members)
{
    for (const AnimalIndex animal : members) {
        const std::size_t i = position(animal);
        if (!is_founder(pedigree_, i))
            inbreeding_[i] = coancestry(pedigree_.sire[i], pedigree_.dam[i]);
    }
}

// Sum over all ordered pairs of the group: for two non-founders the mean of
// their parents' four coancestries, i.e. (y'Cy + sum_a z_a^2 e_a) / 4 with z_a
// the offspring of each parent and y_f their sums per family, less that value
// for each animal with itself, replaced by (1 + F_i)/2; a founder adds 1/2.
double CoancestryCarrier::mean_coancestry(std::span<const AnimalIndex> members) const
{
    std::vector<double> y(matrix_.size(), 0.0);
    double own = 0;
    for (const AnimalIndex animal : members) {
        const std::size_t i = position(animal);
        if (is_founder(pedigree_, i)) {
            own += 0.5;
            continue;
        }
        const AnimalIndex sire = pedigree_.sire[i], dam = pedigree_.dam[i];
        const double full_sibs =
            (coancestry(sire, sire) + coancestry(dam, dam) + 2 * inbreeding_[i]) / 4;
        own += (1 + inbreeding_[i]) / 2 - full_sibs;
        ++y[family_[position(sire)]];
        ++y[family_[position(dam)]];
    }
    double same_parent = 0;
    for (const AnimalIndex parent : parents_)
        same_parent +=
            offspring_[position(parent)] * offspring_[position(parent)] * excess_[position(parent)];
    const double n = static_cast<double>(members.size());
    return ((matrix_.quadratic_form(y) + same_parent) / 4 + own) / (n * n);
}

FamilyLinks CoancestryCarrier::links_of(const ParentFamilies& next) const
{
    FamilyLinks links;
    for (std::uint32_t f = 0; f < next.sire.size(); ++f) {
        links.sire_family.push_back(family_[position(next.sire[f])]);
        links.dam_family.push_back(family_[position(next.dam[f])]);
        links.memberships.emplace_back(next.sire[f], f);
        links.memberships.emplace_back(next.dam[f], f);
    }
    std::ranges::sort(links.memberships);
    return links;
}

// The upper part (columns from `row` on) of a row of the next C:
// C'[f][g] = (sum over the parents a of f and b of g of f_ab) / 4, from the
// sum of the current rows of f's sire and dam, plus e_a for each parent a
// that f and g share.
void CoancestryCarrier::fill_row(const ParentFamilies& next, const FamilyLinks& links,
                                 std::size_t row, std::vector<double>& sums, double* out) const
{
    const double* sire_row = matrix_.row(links.sire_family[row]);
    const double* dam_row = matrix_.row(links.dam_family[row]);
    sums.resize(matrix_.size());
    for (std::size_t k = 0; k < sums.size(); ++k) sums[k] = sire_row[k] + dam_row[k];
    const std::size_t columns = next.sire.size();
    for (std::size_t f = row; f < columns; ++f)
        out[f] = sums[links.sire_family[f]] + sums[links.dam_family[f]];
    for (const AnimalIndex parent : {next.sire[row], next.dam[row]}) {
        // The families that have `parent` as a parent: memberships are sorted by animal.
        auto member = std::lower_bound(links.memberships.begin(), links.memberships.end(),
                                       std::pair(parent, std::uint32_t{0}));
        for (; member != links.memberships.end() && member->first == parent; ++member)
            if (member->second >= row) out[member->second] += excess_[position(member->first)];
    }
    for (std::size_t f = row; f < columns; ++f) out[f] /= 4;
    out[columns] = 0;  // the founders' family
}

// Replaces C by the coancestries among the parents in `members`.
void CoancestryCarrier::carry_forward(std::span<const AnimalIndex> members)
{
    const ParentFamilies next = parent_families(pedigree_, members, offspring_);
    const FamilyLinks links = links_of(next);
    const std::size_t count = next.count();
    next_matrix_.resize(count);
    for_each_chunk(count - 1, rows_per_chunk(count),
                   [&](std::size_t begin, std::size_t end, std::size_t worker) {
                       for (std::size_t f = begin; f < end; ++f)
                           fill_row(next, links, f, row_sums_[worker], next_matrix_.row(f));
                   });
    next_matrix_.row(count - 1)[count - 1] = 0;
    next_matrix_.mirror_upper();
    std::swap(matrix_, next_matrix_);

    parents_ = next.parents;
    for (std::size_t k = 0; k < parents_.size(); ++k) {
        const std::size_t animal = position(parents_[k]);
        family_[animal] = static_cast<std::uint32_t>(next.family[k]);
        excess_[animal] =
            (1 + inbreeding_[animal]) / 2 - matrix_.row(family_[animal])[family_[animal]];
    }
}

}  // namespace

bool has_discrete_generations(const Pedigree& pedigree, const GenerationGroups& groups)
{
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (is_founder(pedigree, i)) continue;
        const AnimalIndex sire = pedigree.sire[i], dam = pedigree.dam[i];
        if (!is_known(sire) || !is_known(dam)) return false;
        const std::size_t group = groups.group_of[i];
        if (group == 0 || groups.group_of[position(sire)] != group - 1 ||
            groups.group_of[position(dam)] != group - 1)
            return false;
    }
    const std::vector<double> offspring = offspring_counts(pedigree);
    for (std::size_t g = 0; g < groups.size(); ++g)
        if (parent_families(pedigree, groups.members(g), offspring).count() > max_parent_families)
            return false;
    return true;
}

Relatedness coancestry_carried_forward(const Pedigree& pedigree, const GenerationGroups& groups,
                                       const ProgressReport& progress)
{
    StageProgress stage(progress, "coancestry carried forward by generation");
    Relatedness found{std::vector<double>(pedigree.size(), 0.0),
                      std::vector<double>(groups.size())};
    CoancestryCarrier carrier(pedigree, found.inbreeding);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        carrier.enter_inbreeding(groups.members(g));
        found.mean_coancestry[g] = carrier.mean_coancestry(groups.members(g));
        carrier.carry_forward(groups.members(g));
        stage.update(g + 1, groups.size());
    }
    return found;
}

}  // namespace pedsim::stats
