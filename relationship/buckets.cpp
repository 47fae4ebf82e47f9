#include "relationship/buckets.h"

#include "pedigree/indexing.h"

namespace pedsim::relationship {

Buckets bucket_by(const std::vector<std::size_t>& key, std::size_t count)
{
    Buckets buckets{std::vector<pedigree::AnimalIndex>(key.size()),
                    std::vector<std::size_t>(count + 1, 0)};
    for (const std::size_t k : key) ++buckets.first[k + 1];
    for (std::size_t k = 0; k < count; ++k) buckets.first[k + 1] += buckets.first[k];
    std::vector<std::size_t> next(buckets.first.begin(), buckets.first.end() - 1);
    for (std::size_t animal = 0; animal < key.size(); ++animal)
        buckets.members[next[key[animal]]++] = pedigree::animal_at(animal);
    return buckets;
}

}  // namespace pedsim::relationship
