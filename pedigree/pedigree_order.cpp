#include "pedigree/pedigree_order.h"

#include <algorithm>
#include <cstdint>

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

}  // namespace

ParentsFirst parents_first(std::span<const AnimalIndex> sire, std::span<const AnimalIndex> dam)
{
    const std::size_t n = sire.size();
    ParentsFirst result;
    result.order.reserve(n);
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
