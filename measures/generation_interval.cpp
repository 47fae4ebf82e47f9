#include "measures/generation_interval.h"
#include "measures/generation_table.h"
#include "pedigree/indexing.h"

namespace pedsim::measures {

namespace {

// Sums of ages, turned into means at the end.
struct AgeSum {
    double years = 0;
    std::size_t pairs = 0;

    void add(double age) { years += age, ++pairs; }
    Pathway mean() const { return {ratio(years, static_cast<double>(pairs)), pairs}; }
};

double age_at_birth(const pedigree::Pedigree& pedigree, std::size_t offspring,
                    pedigree::AnimalIndex parent)
{
    if (!pedigree.birth_time.empty())
        return pedigree.birth_time[offspring] - pedigree.birth_time[pedigree::position(parent)];
    return static_cast<double>(pedigree.generation[offspring] -
                               pedigree.generation[pedigree::position(parent)]);
}

// Whether a parent-offspring pair gives an age: both years recorded.
bool recorded_pair(const pedigree::Pedigree& pedigree, std::size_t offspring,
                   pedigree::AnimalIndex parent)
{
    return pedigree.generation_recorded.empty() ||
           (pedigree.generation_recorded[offspring] &&
            pedigree.generation_recorded[pedigree::position(parent)]);
}

// Each animal's sex as the sex column records it, or else as its use as a
// sire or a dam shows it (the reader refuses uses against the record).
std::vector<pedigree::Sex> sex_by_use(const pedigree::Pedigree& pedigree)
{
    std::vector<pedigree::Sex> sex = pedigree.sex;
    sex.resize(pedigree.size(), pedigree::Sex::unrecorded);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (pedigree::is_known(pedigree.sire[i]))
            sex[pedigree::position(pedigree.sire[i])] = pedigree::Sex::male;
        if (pedigree::is_known(pedigree.dam[i]))
            sex[pedigree::position(pedigree.dam[i])] = pedigree::Sex::female;
    }
    return sex;
}

}  // namespace

GenerationInterval generation_interval(const pedigree::Pedigree& pedigree)
{
    const std::vector<pedigree::Sex> sex = sex_by_use(pedigree);
    AgeSum overall, sire, dam, sire_son, sire_daughter, dam_son, dam_daughter;
    std::size_t left_out = 0;
    const auto counts = [&](std::size_t i, pedigree::AnimalIndex parent) {
        if (!pedigree::is_known(parent)) return false;
        if (recorded_pair(pedigree, i, parent)) return true;
        ++left_out;
        return false;
    };
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        if (counts(i, pedigree.sire[i])) {
            const double age = age_at_birth(pedigree, i, pedigree.sire[i]);
            overall.add(age), sire.add(age);
            if (sex[i] == pedigree::Sex::male) sire_son.add(age);
            if (sex[i] == pedigree::Sex::female) sire_daughter.add(age);
        }
        if (counts(i, pedigree.dam[i])) {
            const double age = age_at_birth(pedigree, i, pedigree.dam[i]);
            overall.add(age), dam.add(age);
            if (sex[i] == pedigree::Sex::male) dam_son.add(age);
            if (sex[i] == pedigree::Sex::female) dam_daughter.add(age);
        }
    }
    return {overall.mean(),       sire.mean(),    dam.mean(),          sire_son.mean(),
            sire_daughter.mean(), dam_son.mean(), dam_daughter.mean(), left_out};
}

std::vector<double> cohort_intervals(const pedigree::Pedigree& pedigree,
                                     const relationship::GenerationGroups& groups)
{
    std::vector<double> interval(groups.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        AgeSum ages;
        for (const pedigree::AnimalIndex animal : groups.members(g))
            for (const pedigree::AnimalIndex parent : {pedigree.sire[pedigree::position(animal)],
                                                       pedigree.dam[pedigree::position(animal)]})
                if (pedigree::is_known(parent) &&
                    recorded_pair(pedigree, pedigree::position(animal), parent))
                    ages.add(age_at_birth(pedigree, pedigree::position(animal), parent));
        interval[g] = ages.mean().mean;
    }
    return interval;
}

}  // namespace pedsim::measures
