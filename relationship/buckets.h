// Animals sorted into numbered buckets by a key, by a counting sort.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "pedigree/pedigree.h"

namespace pedsim::relationship {

// Bucket k holds members[first[k] .. first[k + 1]), in ascending order.
struct Buckets {
    std::vector<pedigree::AnimalIndex> members;
    std::vector<std::size_t> first;

    std::size_t size() const { return first.size() - 1; }
    std::span<const pedigree::AnimalIndex> bucket(std::size_t k) const
    {
        return std::span(members).subspan(first[k], first[k + 1] - first[k]);
    }
};

// Puts each animal i in bucket key[i]. Assumes every key is below `count`.
Buckets bucket_by(const std::vector<std::size_t>& key, std::size_t count);

}  // namespace pedsim::relationship
