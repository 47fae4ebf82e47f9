// The animals of a pedigree linked by name: every row's animal and every
// parent named, numbered (the rows first, then each parent without a row),
// its parents as numbers, and the checks of those links: no animal its own
// parent or ancestor, no animal both sire and dam unless selfing is
// accepted, no sire recorded female nor dam recorded male.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/indexing.h"
#include "pedigree/pedigree.h"
#include "pedigree/pedigree_rows.h"

namespace pedsim::pedigree {

// The animals numbered: the rows first, in input order, then each parent
// without a row, in the order the rows first name them (sire before dam).
class NamedAnimals {
public:
    // Takes the rows' entries and parents, and releases the name table.
    NamedAnimals(PedigreeRows& read, std::string_view text, const Refusal& refuse, bool selfing)
        : rows_(read.animal.size()), text_(text), refuse_(refuse), selfing_(selfing)
    {
        read.names.forget_slots();
        number_entries(read);
        sire_ = std::move(read.sire);
        dam_ = std::move(read.dam);
        sire_.resize(names_.size(), unknown);
        dam_.resize(names_.size(), unknown);
        roles_.assign(names_.size(), 0);
        for (std::size_t r = 0; r < rows_; ++r) check_parents(r);
    }

    std::size_t rows() const { return rows_; }
    std::size_t size() const { return names_.size(); }
    std::string_view name(std::size_t animal) const { return names_[animal]; }
    // The row's line; for an added parent, the line where it is first named.
    LineNumber line(std::size_t animal) const { return line_at(text_, names_[animal].data()); }
    const std::vector<AnimalIndex>& sire() const { return sire_; }
    const std::vector<AnimalIndex>& dam() const { return dam_; }
    bool used_as_sire(std::size_t animal) const { return (roles_[animal] & as_sire) != 0; }
    bool used_as_dam(std::size_t animal) const { return (roles_[animal] & as_dam) != 0; }
    // The first row using `parent` as a sire (or a dam), which one must do:
    // found when a message needs it, so that the rows' checks keep one byte
    // an animal.
    std::size_t first_use(std::size_t parent, bool sire) const;
    // Releases what only the checks of the rows need.
    void forget_uses() { std::vector<std::uint8_t>().swap(roles_); }

private:
    static constexpr std::uint8_t as_sire = 1, as_dam = 2;

    void number_entries(PedigreeRows& read);
    void use(AnimalIndex parent, bool sire, std::size_t row);
    void check_parents(std::size_t animal);

    std::size_t rows_;
    std::string_view text_;
    const Refusal& refuse_;
    bool selfing_;
    std::vector<std::string_view> names_;  // per animal
    std::vector<AnimalIndex> sire_, dam_;
    std::vector<std::uint8_t> roles_;  // per animal: as_sire, as_dam, as the rows use it
};

// Refuses a sire recorded as female or a dam recorded as male.
void check_sexes(const NamedAnimals& animals, const std::vector<Sex>& sex, const Refusal& refuse);

// One note for each parent without a row whose name looks like a mark of
// an unknown parent: all its offspring are related through it.
std::vector<std::string> unknown_like_parents(const NamedAnimals& animals,
                                              std::string_view file_name);

// The animals parents first (pedigree_order.h); refuses an animal that is
// its own ancestor, naming the loop.
std::vector<AnimalIndex> parents_first_order(const NamedAnimals& animals, const Refusal& refuse);

}  // namespace pedsim::pedigree
