#include "relationship/mean_coancestry.h"

#include <span>

#include "pedigree/indexing.h"
#include "shell/parallel.h"
#include "shell/stage_progress.h"

namespace pedsim::relationship {

namespace {

// x'Ax for the indicator x of `members`, as sum_i d_i (T'x)_i^2. The pass
// starts at the group's last animal: T'x is zero beyond it. Uses `u` (one
// entry per animal, zero on entry) and leaves it zeroed.
double relationship_sum(const pedigree::Pedigree& pedigree, const std::vector<double>& variance,
                        std::span<const pedigree::AnimalIndex> members, std::vector<double>& u)
{
    for (const pedigree::AnimalIndex animal : members) u[pedigree::position(animal)] = 1;
    double sum = 0;
    for (std::size_t i = members.empty() ? 0 : pedigree::position(members.back()) + 1; i-- > 0;) {
        const double share = u[i];
        if (share == 0) continue;
        sum += variance[i] * share * share;
        for (const pedigree::AnimalIndex parent : {pedigree.sire[i], pedigree.dam[i]})
            if (pedigree::is_known(parent)) u[pedigree::position(parent)] += share / 2;
        u[i] = 0;
    }
    return sum;
}

}  // namespace

std::vector<double> mean_coancestry_by_products(const pedigree::Pedigree& pedigree,
                                                const InbreedingByPaths& found,
                                                const GenerationGroups& groups,
                                                const shell::ProgressReport& progress)
{
    shell::StageProgress stage(progress, "mean coancestry by matrix products");
    std::vector<std::vector<double>> u(shell::worker_count());
    std::vector<double> mean(groups.size());
    shell::for_each_chunk(
        groups.size(), 1, [&](std::size_t begin, std::size_t end, std::size_t worker) {
            if (u[worker].empty()) u[worker].assign(pedigree.size(), 0.0);
            for (std::size_t g = begin; g < end; ++g) {
                const auto members = groups.members(g);
                if (members.size() == 1) {
                    mean[g] = (1 + found.inbreeding[pedigree::position(members[0])]) / 2;
                    continue;
                }
                const double n = static_cast<double>(members.size());
                mean[g] = relationship_sum(pedigree, found.mendelian_variance, members, u[worker]) /
                          (2 * n * n);
            }
        });
    return mean;
}

}  // namespace pedsim::relationship
