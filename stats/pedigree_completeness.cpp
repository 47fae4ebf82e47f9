#include "stats/pedigree_completeness.h"

#include <algorithm>

#include "pedigree/indexing.h"

namespace pedsim::stats {

TracedGenerations traced_generations(const Pedigree& pedigree)
{
    TracedGenerations traced{std::vector<double>(pedigree.size(), 0.0),
                             std::vector<double>(pedigree.size(), 0.0)};
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const AnimalIndex sire = pedigree.sire[i];
        const AnimalIndex dam = pedigree.dam[i];
        for (const AnimalIndex parent : {sire, dam})
            if (is_known(parent))
                traced.maximum[i] =
                    std::max(traced.maximum[i], 1 + traced.maximum[position(parent)]);
        if (is_known(sire) && is_known(dam))
            traced.complete[i] =
                1 + std::min(traced.complete[position(sire)], traced.complete[position(dam)]);
    }
    return traced;
}

}  // namespace pedsim::stats
