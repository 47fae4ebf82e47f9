#include "measures/generation_table.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "pedigree/indexing.h"

namespace pedsim::measures {

namespace {

constexpr double undefined = std::numeric_limits<double>::quiet_NaN();

// Count, mean, sample standard deviation and maximum of the values that are
// not NaN.
struct Sample {
    std::size_t n = 0;
    double mean = undefined, sd = undefined, max = undefined;
};

template <class Value>
Sample describe(std::span<const pedigree::AnimalIndex> members, Value value)
{
    Sample sample;
    double sum = 0;
    for (const pedigree::AnimalIndex animal : members) {
        const double x = value(pedigree::position(animal));
        if (std::isnan(x)) continue;
        ++sample.n;
        sum += x;
        sample.max = sample.n == 1 ? x : std::max(sample.max, x);
    }
    sample.mean = ratio(sum, static_cast<double>(sample.n));
    double squares = 0;
    for (const pedigree::AnimalIndex animal : members) {
        const double x = value(pedigree::position(animal));
        if (!std::isnan(x)) squares += (x - sample.mean) * (x - sample.mean);
    }
    sample.sd = std::sqrt(ratio(squares, static_cast<double>(sample.n) - 1));
    return sample;
}

// Animals that have offspring as a sire (as_sire) or as a dam.
std::vector<bool> used_as_parent(const pedigree::Pedigree& pedigree, bool as_sire)
{
    std::vector<bool> used(pedigree.size(), false);
    for (const pedigree::AnimalIndex parent : as_sire ? pedigree.sire : pedigree.dam)
        if (pedigree::is_known(parent)) used[pedigree::position(parent)] = true;
    return used;
}

GenerationRow row_of_group(std::span<const pedigree::AnimalIndex> members,
                           const AnimalValues& animals, const std::vector<bool>& sire,
                           const std::vector<bool>& dam)
{
    GenerationRow row;
    row.animals = members.size();
    const auto f = describe(members, [&](std::size_t i) { return animals.inbreeding[i]; });
    row.mean_f = f.mean;
    row.sd_f = f.sd;
    row.max_f = f.max;
    std::size_t inbred = 0;
    for (const pedigree::AnimalIndex animal : members) {
        row.sires += sire[pedigree::position(animal)] ? 1 : 0;
        row.dams += dam[pedigree::position(animal)] ? 1 : 0;
        inbred += animals.inbreeding[pedigree::position(animal)] > 0 ? 1 : 0;
    }
    row.inbred_share = static_cast<double>(inbred) / static_cast<double>(members.size());
    row.mean_ecg =
        describe(members, [&](std::size_t i) { return animals.equivalent_generations[i]; }).mean;
    const auto df =
        describe(members, [&](std::size_t i) { return animals.individual_increase[i]; });
    row.mean_individual_increase = df.mean;
    row.ne_individual = effective_size(df.mean);
    row.ne_individual_se = effective_size_error(row.ne_individual, df.sd, df.n);
    return row;
}

}  // namespace

double ratio(double x, double y) { return y == 0 ? undefined : x / y; }

double relative_increase(double before, double now) { return ratio(now - before, 1 - before); }

double effective_size(double increase) { return ratio(1, 2 * increase); }

double effective_size_error(double ne, double sd, std::size_t n)
{
    return 2 / std::sqrt(static_cast<double>(n)) * ne * ne * sd;
}

std::vector<GenerationRow> generation_table(const pedigree::Pedigree& pedigree,
                                            const relationship::GenerationGroups& groups,
                                            const AnimalValues& animals,
                                            const std::vector<double>& mean_coancestry,
                                            const std::vector<double>& expected_f)
{
    const std::vector<bool> sire = used_as_parent(pedigree, true);
    const std::vector<bool> dam = used_as_parent(pedigree, false);
    std::vector<GenerationRow> rows;
    rows.reserve(groups.size());  // a deep pedigree has a row for each of its many generations
    for (std::size_t g = 0; g < groups.size(); ++g) {
        GenerationRow row = row_of_group(groups.members(g), animals, sire, dam);
        row.generation = groups.generation[g];
        row.mean_coancestry = mean_coancestry[g];
        row.expected_f = expected_f[g];
        const bool first = rows.empty();
        row.delta_f = first ? undefined : relative_increase(rows.back().mean_f, row.mean_f);
        row.delta_c =
            first ? undefined : relative_increase(rows.back().mean_coancestry, row.mean_coancestry);
        row.ne_delta_f = effective_size(row.delta_f);
        row.ne_delta_c = effective_size(row.delta_c);
        rows.push_back(row);
    }
    return rows;
}

}  // namespace pedsim::measures
