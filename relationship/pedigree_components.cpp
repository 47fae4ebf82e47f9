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
        std::iota(parent_.begin(), parent_.end(), std::size_t{0});
    }
    std::size_t root(std::size_t a)
    {
        while (parent_[a] != a) a = parent_[a] = parent_[parent_[a]];
        return a;
    }
    void join(std::size_t a, std::size_t b)
    {
        a = root(a);
        b = root(b);
        if (a == b) return;
        if (size_[a] < size_[b]) std::swap(a, b);
        parent_[b] = a;
        size_[a] += size_[b];
    }

private:
    std::vector<std::size_t> parent_, size_;
};

}  // namespace

std::vector<std::uint32_t> pedigree_components(const pedigree::Pedigree& pedigree)
{
    DisjointSets sets(pedigree.size());
    for (std::size_t i = 0; i < pedigree.size(); ++i)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) sets.join(i, pedigree::position(parent));
    constexpr std::uint32_t unnumbered = ~std::uint32_t{0};
    std::vector<std::uint32_t> number_of_root(pedigree.size(), unnumbered);
    std::vector<std::uint32_t> component(pedigree.size());
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        std::uint32_t& number = number_of_root[sets.root(i)];
        if (number == unnumbered) number = next++;
        component[i] = number;
    }
    return component;
}

}  // namespace pedsim::relationship
