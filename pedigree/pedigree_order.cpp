#include "pedigree/pedigree_order.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

#include "pedigree/indexing.h"

namespace pedsim::pedigree {

namespace {

enum class Mark : std::uint8_t {
    unseen,
    on_path,  // an ancestor of the animal being placed is being looked at
    placed,
};

// One animal of the path from the animal being placed up to an ancestor,
// with the parent to look at next (0 sire, 1 dam, 2 none left).
struct Step {
    AnimalIndex animal;
    int next_parent;
};

// The loop closed by reaching `ancestor`, which is on `path`.
std::vector<AnimalIndex> loop_from(const std::vector<Step>& path, AnimalIndex ancestor)
{
    auto start = std::ranges::find(path, ancestor, &Step::animal);
    std::vector<AnimalIndex> loop;
    for (; start != path.end(); ++start) loop.push_back(start->animal);
    return loop;
}

// True when every known parent stands before its offspring: a parent's
// index is below the offspring's (unknown is below every index).
bool parents_come_first(std::span<const AnimalIndex> sire, std::span<const AnimalIndex> dam)
{
    for (std::size_t i = 0; i < sire.size(); ++i)
        if (sire[i] >= animal_at(i) || dam[i] >= animal_at(i)) return false;
    return true;
}

}  // namespace

ParentsFirst parents_first(std::span<const AnimalIndex> sire, std::span<const AnimalIndex> dam)
{
    const std::size_t n = sire.size();
    ParentsFirst result;
    result.order.reserve(n);
    // The order of herd books and of pedsim's files, kept as it is; checked
    // in one sequential pass where the walk up the parents reads at random.
    if (parents_come_first(sire, dam)) {
        result.order.resize(n);
        std::iota(result.order.begin(), result.order.end(), AnimalIndex{0});
        return result;
    }
    std::vector<Mark> mark(n, Mark::unseen);
    std::vector<Step> path;
    for (std::size_t root = 0; root < n; ++root) {
        if (mark[root] == Mark::placed) continue;
        path.push_back({animal_at(root), 0});
        mark[root] = Mark::on_path;
        while (!path.empty()) {
            Step& step = path.back();
            if (step.next_parent == 2) {
                mark[position(step.animal)] = Mark::placed;
                result.order.push_back(step.animal);
                path.pop_back();
                continue;
            }
            const std::size_t child = position(step.animal);
            const AnimalIndex parent = step.next_parent++ == 0 ? sire[child] : dam[child];
            if (parent == unknown) continue;
            const std::size_t p = position(parent);
            if (mark[p] == Mark::placed) continue;
            if (mark[p] == Mark::on_path) return {{}, loop_from(path, parent)};
            mark[p] = Mark::on_path;
            path.push_back({parent, 0});
        }
    }
    return result;
}

}  // namespace pedsim::pedigree
