#include "relationship/pedigree_components.h"

#include <cstddef>
#include <numeric>
#include <utility>

#include "pedigree/indexing.h"

namespace pedsim::relationship {

namespace {

// Union-find with path halving and union by size: near-linear in the links.
class DisjointSets {
public:
    explicit DisjointSets(std::size_t count) : parent_(count), size_(count, 1)
    {
        std::iota(parent_.begin(), parent_.end(), std::uint32_t{0});
    }
    std::uint32_t root(std::uint32_t a)
    {
        while (parent_[a] != a) a = parent_[a] = parent_[parent_[a]];
        return a;
    }
    std::uint32_t size(std::uint32_t root) const { return size_[root]; }
    void join(std::uint32_t a, std::uint32_t b)
    {
        a = root(a);
        b = root(b);
        if (a == b) return;
        if (size_[a] < size_[b]) std::swap(a, b);
        parent_[b] = a;
        size_[a] += size_[b];
    }

private:
    std::vector<std::uint32_t> parent_, size_;  // a pedigree's indices fit 32 bits
};

}  // namespace

std::vector<std::uint32_t> pedigree_components(const pedigree::Pedigree& pedigree)
{
    DisjointSets sets(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent))
                sets.join(static_cast<std::uint32_t>(i),
                          static_cast<std::uint32_t>(pedigree::position(parent)));
    // The numbers are written over the sets' roots' entries of a vector
    // that first holds each animal's root.
    std::vector<std::uint32_t> component(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        component[i] = sets.root(static_cast<std::uint32_t>(i));
    std::vector<std::uint32_t> number_of_root(pedigree.size(), lone_animal);
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const std::uint32_t root = component[i];
        if (sets.size(root) == 1) {
            component[i] = lone_animal;
            continue;
        }
        if (number_of_root[root] == lone_animal) number_of_root[root] = next++;
        component[i] = number_of_root[root];
    }
    return component;
}

}  // namespace pedsim::relationship
