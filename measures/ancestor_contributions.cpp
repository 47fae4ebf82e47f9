#include "measures/ancestor_contributions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <utility>
#include <vector>

#include "measures/generation_table.h"
#include "pedigree/indexing.h"

namespace pedsim::measures {

namespace {

// The shares of the genes still unexplained below which the choice stops:
// what rounding leaves of a sum that is 1.
constexpr double negligible = 1e-12;

// The candidates weighed in one attempt at the choice, the animals whose
// marginal contribution before any choice reaches `floor`, with their
// ancestors, renumbered in the pedigree's order so parents still come first,
// with every animal's children in one array (child[first_child[i]] up to
// child[first_child[i + 1]], see link_children). The known parents of a
// member are members too. Animals outside it have no contribution to weigh
// while the choice stays at or above the floor, and their shares of the
// genes explained reach no member, so the walks leave them out: in a herd
// book the members are a few thousand sires and their ancestors, where the
// reference's ancestors are millions of cows.
struct Ancestry {
    std::vector<pedigree::AnimalIndex> sire, dam;
    std::vector<std::size_t> first_child;
    std::vector<pedigree::AnimalIndex> child;
    std::vector<double> own_weight;  // 1 for an animal of the reference, else 0
    std::vector<double> q;           // q before any choice, in reference animals
    double reference_size = 0;
    double floor = 0;
};

// q before any choice of every animal up to the last of the reference, in
// reference animals: one backward pass, each animal passing half its weight
// (its own and what it received) to each known parent. Animals outside the
// reference's ancestry pass nothing (0 / 2 added changes no sum), so the sums
// are those of a pass over the ancestry alone.
std::vector<double> initial_shares(const pedigree::Pedigree& pedigree,
                                   std::span<const pedigree::AnimalIndex> reference,
                                   std::vector<double>& own_weight)
{
    own_weight.assign(pedigree::position(reference.back()) + 1, 0.0);
    for (const pedigree::AnimalIndex animal : reference) own_weight[pedigree::position(animal)] = 1;
    std::vector<double> q(own_weight.size(), 0.0);
    for (std::size_t i = q.size(); i-- > 0;) {
        const double weight = own_weight[i] + q[i];
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) q[pedigree::position(parent)] += weight / 2;
    }
    return q;
}

// The marginal contribution of an animal with share q before any choice
// (1 - a is 1 then), which no later choice exceeds.
double first_contribution(double q, double reference_size) { return q / reference_size; }

// Members: the animals whose first contribution reaches `floor`, then in one
// backward pass every parent of a member.
std::vector<bool> members(const pedigree::Pedigree& pedigree, const std::vector<double>& q,
                          double reference_size, double floor)
{
    std::vector<bool> member(q.size(), false);
    for (std::size_t i = member.size(); i-- > 0;) {
        if (!member[i] && first_contribution(q[i], reference_size) < floor) continue;
        member[i] = true;
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) member[pedigree::position(parent)] = true;
    }
    return member;
}

// The children lists, counted first so each lands in its place at once.
void link_children(Ancestry& ancestry)
{
    const std::size_t n = ancestry.sire.size();
    ancestry.first_child.assign(n + 1, 0);
    const auto each_link = [&](auto link) {
        for (std::size_t i = 0; i < n; ++i)
            for (const pedigree::AnimalIndex parent : {ancestry.sire[i], ancestry.dam[i]})
                if (pedigree::is_known(parent)) link(pedigree::position(parent), i);
    };
    each_link([&](std::size_t parent, std::size_t) { ++ancestry.first_child[parent + 1]; });
    for (std::size_t i = 0; i < n; ++i) ancestry.first_child[i + 1] += ancestry.first_child[i];
    ancestry.child.resize(ancestry.first_child[n]);
    std::vector<std::size_t> next(ancestry.first_child.begin(), ancestry.first_child.end() - 1);
    each_link([&](std::size_t parent, std::size_t i) {
        ancestry.child[next[parent]++] = pedigree::animal_at(i);
    });
}

Ancestry ancestry_of(const pedigree::Pedigree& pedigree, const std::vector<double>& q,
                     const std::vector<double>& own_weight, double reference_size, double floor)
{
    const std::vector<bool> member = members(pedigree, q, reference_size, floor);
    std::vector<pedigree::AnimalIndex> renumbered(member.size(), pedigree::unknown);
    Ancestry ancestry;
    // Sized once: grown by doubling, the columns of a deep pedigree's many
    // members took fresh memory again at each step.
    const auto size = static_cast<std::size_t>(std::ranges::count(member, true));
    for (auto* column : {&ancestry.sire, &ancestry.dam}) column->reserve(size);
    for (auto* column : {&ancestry.own_weight, &ancestry.q}) column->reserve(size);
    const auto renumber = [&](pedigree::AnimalIndex parent) {
        return pedigree::is_known(parent) ? renumbered[pedigree::position(parent)]
                                          : pedigree::unknown;
    };
    for (std::size_t i = 0; i < member.size(); ++i) {
        if (!member[i]) continue;
        renumbered[i] = pedigree::animal_at(ancestry.sire.size());
        ancestry.sire.push_back(renumber(pedigree.sire[i]));
        ancestry.dam.push_back(renumber(pedigree.dam[i]));
        ancestry.own_weight.push_back(own_weight[i]);
        ancestry.q.push_back(q[i]);
    }
    ancestry.reference_size = reference_size;
    ancestry.floor = floor;
    link_children(ancestry);
    return ancestry;
}

// A candidate in the choice: its marginal contribution when last computed,
// an upper bound of the current one since marginal contributions only fall.
using Candidate = std::pair<double, pedigree::AnimalIndex>;

// The heap's order: the larger contribution first, on a tie the earlier animal.
struct Later {
    bool operator()(const Candidate& x, const Candidate& y) const
    {
        return x.first < y.first || (x.first == y.first && x.second > y.second);
    }
};

// The state of the choice: q of every member (see the header) times n, the
// reference counting 1 each, so q stays an exact binary fraction on pedigrees
// of a few dozen generations and contributions equal in exact arithmetic tie
// (the earlier animal wins) rather than differ by rounding; a of every member;
// the chosen; and a lazy heap of the candidates. Choosing an animal changes q
// of its ancestors and a of its descendants; both changes wait, pooled with
// those of later choices, until a candidate they may reach is weighed: one
// walk then serves many choices, where the ancestors of the parents of a
// reference may be the whole pedigree.
class Choice {
public:
    explicit Choice(Ancestry ancestry);

    // The animal with the largest current marginal contribution, the earliest
    // on a tie, removed from the candidates with its contribution; unknown
    // when none is left above `negligible`; nullopt when the largest left
    // among the members falls below the floor, where an animal outside may
    // offer more.
    std::optional<Candidate> best();

    // Cut the pedigree above `animal`, its ancestors to lose the genes it
    // passed to them, its descendants to gain what it did not yet explain of
    // its own.
    void choose(pedigree::AnimalIndex animal);

private:
    double marginal(std::size_t i) const { return q_[i] / ancestry_.reference_size * (1 - a_[i]); }
    void settle(std::size_t i);
    void cut_ancestors();
    void explain_descendants();
    template <class Next>
    void walk(const std::vector<pedigree::AnimalIndex>& from, Next next);

    Ancestry ancestry_;
    std::vector<double> q_, a_, change_;
    std::vector<std::uint32_t> depth_;  // the longest line of known ancestors
    std::vector<char> chosen_, seen_;   // bytes, not bits: read at every step of a walk
    std::vector<pedigree::AnimalIndex> reached_, cut_waiting_, explained_waiting_;
    std::uint32_t deepest_cut_ = 0, shallowest_explained_ = 0;
    std::priority_queue<Candidate, std::vector<Candidate>, Later> candidates_;
};

Choice::Choice(Ancestry ancestry)
    : ancestry_(std::move(ancestry)), q_(std::move(ancestry_.q)), a_(ancestry_.sire.size(), 0.0),
      change_(ancestry_.sire.size(), 0.0), depth_(ancestry_.sire.size(), 0),
      chosen_(ancestry_.sire.size(), 0), seen_(ancestry_.sire.size(), 0)
{
    for (std::size_t i = 0; i < depth_.size(); ++i)
        for (const pedigree::AnimalIndex parent : {ancestry_.sire[i], ancestry_.dam[i]})
            if (pedigree::is_known(parent))
                depth_[i] = std::max(depth_[i], depth_[pedigree::position(parent)] + 1);
    std::vector<Candidate> all;
    for (std::size_t i = 0; i < q_.size(); ++i)
        if (marginal(i) >= std::max(negligible, ancestry_.floor))
            all.emplace_back(marginal(i), pedigree::animal_at(i));
    candidates_ = decltype(candidates_)(Later{}, std::move(all));
}

std::optional<Candidate> Choice::best()
{
    while (!candidates_.empty()) {
        const auto [bound, animal] = candidates_.top();
        if (bound < ancestry_.floor) return std::nullopt;
        settle(pedigree::position(animal));
        const double now = marginal(pedigree::position(animal));
        candidates_.pop();
        if (now == bound) return Candidate{now, animal};
        if (now >= negligible) candidates_.emplace(now, animal);
    }
    if (ancestry_.floor > negligible) return std::nullopt;
    return Candidate{0, pedigree::unknown};
}

void Choice::choose(pedigree::AnimalIndex animal)
{
    chosen_[pedigree::position(animal)] = true;
    const std::uint32_t depth = depth_[pedigree::position(animal)];
    if (cut_waiting_.empty() || depth > deepest_cut_) deepest_cut_ = depth;
    if (explained_waiting_.empty() || depth < shallowest_explained_) shallowest_explained_ = depth;
    cut_waiting_.push_back(animal);
    explained_waiting_.push_back(animal);
}

// Brings q and a of animal i up to date: an ancestor stands less deep than
// its descendants, so the waiting changes reach i only when one of the
// chosen stands deeper (q) or less deep (a) than i.
void Choice::settle(std::size_t i)
{
    if (!cut_waiting_.empty() && depth_[i] < deepest_cut_) cut_ancestors();
    if (!explained_waiting_.empty() && depth_[i] > shallowest_explained_) explain_descendants();
}

// Gathers into reached_, in the pedigree's order, the animals of `from` and
// every animal reached from them through next(animal, visit) without
// entering a chosen one.
template <class Next>
void Choice::walk(const std::vector<pedigree::AnimalIndex>& from, Next next)
{
    reached_ = from;
    for (const pedigree::AnimalIndex animal : from) seen_[pedigree::position(animal)] = true;
    for (std::size_t k = 0; k < reached_.size(); ++k)
        next(reached_[k], [&](pedigree::AnimalIndex other) {
            if (chosen_[pedigree::position(other)] || seen_[pedigree::position(other)]) return;
            seen_[pedigree::position(other)] = true;
            reached_.push_back(other);
        });
    std::sort(reached_.begin(), reached_.end());
    for (const pedigree::AnimalIndex animal : reached_) seen_[pedigree::position(animal)] = false;
}

// Every waiting chosen animal k takes from its ancestors the weight it passed
// them, own_weight + q as q stood when k was chosen, halved at each parent on
// the lines that meet no other chosen animal. Offspring before parents, so
// each ancestor has its whole loss when it passes half of it on.
void Choice::cut_ancestors()
{
    for (const pedigree::AnimalIndex k : cut_waiting_)
        change_[pedigree::position(k)] =
            ancestry_.own_weight[pedigree::position(k)] + q_[pedigree::position(k)];
    walk(cut_waiting_, [&](pedigree::AnimalIndex i, auto visit) {
        for (const pedigree::AnimalIndex parent :
             {ancestry_.sire[pedigree::position(i)], ancestry_.dam[pedigree::position(i)]})
            if (pedigree::is_known(parent)) visit(parent);
    });
    for (auto i = reached_.rbegin(); i != reached_.rend(); ++i) {
        const std::size_t at = pedigree::position(*i);
        if (!chosen_[at]) q_[at] -= change_[at];
        for (const pedigree::AnimalIndex parent : {ancestry_.sire[at], ancestry_.dam[at]})
            if (pedigree::is_known(parent) && !chosen_[pedigree::position(parent)])
                change_[pedigree::position(parent)] += change_[at] / 2;
        change_[at] = 0;
    }
    cut_waiting_.clear();
}

// Every waiting chosen animal k gives its descendants the share 1 - a_k of its
// genes that no earlier choice explained, halved at each generation on the
// lines that meet no other chosen animal. Parents before offspring, so each
// descendant has its whole gain when it passes half of it on.
void Choice::explain_descendants()
{
    for (const pedigree::AnimalIndex k : explained_waiting_)
        change_[pedigree::position(k)] = 1 - a_[pedigree::position(k)];
    walk(explained_waiting_, [&](pedigree::AnimalIndex i, auto visit) {
        for (std::size_t c = ancestry_.first_child[pedigree::position(i)];
             c < ancestry_.first_child[pedigree::position(i) + 1]; ++c)
            visit(ancestry_.child[c]);
    });
    for (const pedigree::AnimalIndex i : reached_) {
        const std::size_t at = pedigree::position(i);
        if (!chosen_[at]) a_[at] += change_[at];
        for (std::size_t c = ancestry_.first_child[at]; c < ancestry_.first_child[at + 1]; ++c)
            if (!chosen_[pedigree::position(ancestry_.child[c])])
                change_[pedigree::position(ancestry_.child[c])] += change_[at] / 2;
        change_[at] = 0;
    }
    explained_waiting_.clear();
}

// The floor of the attempt `attempt` (0 for the first): the first
// contribution of the animal ranked cap * 16 * 4^attempt among those with
// one above `negligible`, the largest first; `negligible` when there are not
// so many. The chosen rank at most cap, and in herd books the cap-th chosen
// offers about what the 4 cap-th largest first contribution does, so the
// first attempt seldom falls short, and each that does costs a quarter of
// the next.
double attempt_floor(const std::vector<double>& q, double reference_size, std::size_t cap,
                     int attempt)
{
    std::vector<double> first;
    for (const double share : q)
        if (first_contribution(share, reference_size) >= negligible)
            first.push_back(first_contribution(share, reference_size));
    const double rank = static_cast<double>(cap) * 16 * std::pow(4.0, attempt);
    if (rank >= static_cast<double>(first.size())) return negligible;
    const auto at = first.begin() + static_cast<std::ptrdiff_t>(rank);
    std::nth_element(first.begin(), at, first.end(), std::greater<>());
    return *at;
}

// The choice among the members of `ancestry`; nullopt when it fell below
// their floor before it ended.
std::optional<AncestorContributions> choose_ancestors(Ancestry ancestry, std::size_t cap)
{
    Choice choice(std::move(ancestry));
    AncestorContributions found;
    double squares = 0;
    while (found.ancestors < cap && found.explained < 1 - negligible) {
        const std::optional<Candidate> next = choice.best();
        if (!next) return std::nullopt;
        const auto [most, best] = *next;
        if (!pedigree::is_known(best)) break;
        choice.choose(best);
        ++found.ancestors;
        found.explained += most;
        squares += most * most;
        if (found.half == 0 && found.explained >= 0.5) found.half = found.ancestors;
    }
    found.effective_ancestors = ratio(1, squares);
    return found;
}

}  // namespace

AncestorContributions effective_ancestors(const pedigree::Pedigree& pedigree,
                                          std::span<const pedigree::AnimalIndex> reference,
                                          std::size_t cap)
{
    std::vector<double> own_weight;
    const std::vector<double> q = initial_shares(pedigree, reference, own_weight);
    const auto n = static_cast<double>(reference.size());
    for (int attempt = 0;; ++attempt) {
        const double floor = attempt_floor(q, n, cap, attempt);
        std::optional<AncestorContributions> found =
            choose_ancestors(ancestry_of(pedigree, q, own_weight, n, floor), cap);
        if (found) return *found;
    }
}

}  // namespace pedsim::measures
