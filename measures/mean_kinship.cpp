#include "measures/mean_kinship.h"
#include "measures/generation_table.h"
#include "pedigree/indexing.h"
#include "relationship/inbreeding_by_paths.h"

namespace pedsim::measures {

std::vector<double> mean_kinship(const pedigree::Pedigree& pedigree,
                                 const std::vector<double>& inbreeding,
                                 std::span<const pedigree::AnimalIndex> reference)
{
    std::vector<double> product(pedigree.size(), 0.0);
    for (const pedigree::AnimalIndex animal : reference) product[pedigree::position(animal)] = 1;
    // T'x, from the last animal to the first: a parent gathers half of what
    // each offspring holds.
    for (std::size_t i = pedigree.size(); i-- > 0;)
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) product[pedigree::position(parent)] += product[i] / 2;
    // T D (T'x), from the first animal to the last: an animal's own share
    // plus half of each parent's.
    const double scale = 1 / (2 * static_cast<double>(reference.size()));
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        product[i] *= relationship::mendelian_variance(pedigree, inbreeding, i);
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) product[i] += product[pedigree::position(parent)] / 2;
    }
    // Scaled once all are summed: a parent's value is read unscaled above.
    for (double& value : product) value *= scale;
    return product;
}

double reference_coancestry(const std::vector<double>& mean_kinship,
                            std::span<const pedigree::AnimalIndex> reference)
{
    double sum = 0;
    for (const pedigree::AnimalIndex animal : reference)
        sum += mean_kinship[pedigree::position(animal)];
    return sum / static_cast<double>(reference.size());
}

double founder_genome_equivalents(double mean_coancestry) { return ratio(1, 2 * mean_coancestry); }

}  // namespace pedsim::measures
