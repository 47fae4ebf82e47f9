#include "measures/pedigree_completeness.h"

#include <algorithm>

#include "pedigree/indexing.h"

namespace pedsim::measures {

TracedGenerations traced_generations(const pedigree::Pedigree& pedigree)
{
    TracedGenerations traced{std::vector<double>(pedigree.size(), 0.0),
                             std::vector<double>(pedigree.size(), 0.0)};
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        const pedigree::AnimalIndex sire = pedigree.sire[i];
        const pedigree::AnimalIndex dam = pedigree.dam[i];
        for (const pedigree::AnimalIndex parent : {sire, dam})
            if (pedigree::is_known(parent))
                traced.maximum[i] =
                    std::max(traced.maximum[i], 1 + traced.maximum[pedigree::position(parent)]);
        if (pedigree::is_known(sire) && pedigree::is_known(dam))
            traced.complete[i] = 1 + std::min(traced.complete[pedigree::position(sire)],
                                              traced.complete[pedigree::position(dam)]);
    }
    return traced;
}

}  // namespace pedsim::measures
