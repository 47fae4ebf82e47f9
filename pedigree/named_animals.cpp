#include "pedigree/named_animals.h"

#include <algorithm>

#include "common/failure.h"
#include "pedigree/pedigree_fields.h"
#include "pedigree/pedigree_order.h"

namespace pedsim::pedigree {

// Gives each entry its animal: a row's entry that row, then each parent
// without a row the next number, as the rows first name it; the rows'
// parents then name animals instead of entries.
void NamedAnimals::number_entries(PedigreeRows& read)
{
    std::vector<AnimalIndex> animal_of = std::move(read.entry_row);  // per entry
    names_.reserve(animal_of.size());
    for (const NameEntry entry : read.animal) names_.push_back(read.names.name(entry));
    std::vector<NameEntry>().swap(read.animal);
    for (std::size_t r = 0; r < rows_; ++r)
        for (NameEntry* parent : {&read.sire[r], &read.dam[r]}) {
            if (*parent == unknown) continue;
            AnimalIndex& animal = animal_of[static_cast<std::size_t>(*parent)];
            if (animal == unknown) {
                animal = static_cast<AnimalIndex>(names_.size());
                names_.push_back(read.names.name(*parent));
            }
            *parent = animal;
        }
    read.names = NameTable();
}

std::size_t NamedAnimals::first_use(std::size_t parent, bool sire) const
{
    const std::vector<AnimalIndex>& parents = sire ? sire_ : dam_;
    const auto found = std::ranges::find(parents, static_cast<AnimalIndex>(parent));
    return static_cast<std::size_t>(found - parents.begin());
}

// Records that row `row` uses `parent` as a sire (or a dam), refusing an
// animal used in both roles unless selfing is accepted.
void NamedAnimals::use(AnimalIndex parent, bool sire, std::size_t row)
{
    if (parent == unknown) return;
    const auto p = static_cast<std::size_t>(parent);
    const std::uint8_t role = sire ? as_sire : as_dam, other_role = sire ? as_dam : as_sire;
    if ((roles_[p] & other_role) != 0 && !selfing_) {
        const std::size_t other = first_use(p, !sire);
        const std::string hint =
            other == row
                ? " (give --selfing for a pedigree where an individual is both parents)"
                : " (give --selfing for a pedigree where an individual may be a sire and a "
                  "dam)";
        refuse_(line(row), common::quoted(name(p)) + " is used as a " + (sire ? "sire" : "dam") +
                               " here and as a " + (sire ? "dam" : "sire") + " on line " +
                               std::to_string(line(other)) + hint);
    }
    roles_[p] |= role;
}

// Checks row number `animal` (its index, the rows coming first) against its parents.
void NamedAnimals::check_parents(std::size_t animal)
{
    const AnimalIndex sire = sire_[animal], dam = dam_[animal];
    if (sire == static_cast<AnimalIndex>(animal))
        refuse_(line(animal), "animal " + common::quoted(names_[animal]) + " is its own sire");
    if (dam == static_cast<AnimalIndex>(animal))
        refuse_(line(animal), "animal " + common::quoted(names_[animal]) + " is its own dam");
    use(sire, true, animal);
    use(dam, false, animal);
}

namespace {

constexpr std::size_t most_loop_names_shown = 8;

// A name that field data often give to an unknown parent, outside the
// built-in marks: "unknown", "unk", "missing", "none", "null", "?" (any
// case) or a negative number ("-9").
bool looks_unknown(std::string_view name)
{
    for (const std::string_view mark : {"unknown", "unk", "missing", "none", "null", "?"})
        if (same_word(name, mark)) return true;
    return name.size() > 1 && name[0] == '-' &&
           name.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

// "A -> B -> A": each animal followed by a parent, back to the first.
std::string loop_text(const NamedAnimals& animals, const std::vector<AnimalIndex>& loop)
{
    std::string text;
    for (std::size_t k = 0; k < loop.size(); ++k) {
        if (loop.size() > most_loop_names_shown && k == most_loop_names_shown / 2) {
            text += "... (" + std::to_string(loop.size() - most_loop_names_shown) + " more) -> ";
            k = loop.size() - most_loop_names_shown / 2;
        }
        text += common::quoted(animals.name(static_cast<std::size_t>(loop[k]))) + " -> ";
    }
    return text + common::quoted(animals.name(static_cast<std::size_t>(loop.front())));
}

}  // namespace

std::vector<std::string> unknown_like_parents(const NamedAnimals& animals,
                                              std::string_view file_name)
{
    std::vector<std::string> notes;
    for (std::size_t p = animals.rows(); p < animals.size(); ++p) {
        if (!looks_unknown(animals.name(p))) continue;
        const auto parent = static_cast<AnimalIndex>(p);
        const auto offspring =
            std::ranges::count(animals.sire(), parent) + std::ranges::count(animals.dam(), parent);
        notes.push_back(std::string(file_name) + ": line " + std::to_string(animals.line(p)) +
                        ": parent " + common::quoted(animals.name(p)) + " has no row and " +
                        std::to_string(offspring) +
                        " offspring, related through it; if it marks an unknown parent, give "
                        "--unknown " +
                        std::string(animals.name(p)));
    }
    return notes;
}

void check_sexes(const NamedAnimals& animals, const std::vector<Sex>& sex, const Refusal& refuse)
{
    for (std::size_t r = 0; r < sex.size(); ++r) {
        const bool female_sire = sex[r] == Sex::female && animals.used_as_sire(r);
        const bool male_dam = sex[r] == Sex::male && animals.used_as_dam(r);
        if (!female_sire && !male_dam) continue;
        const std::size_t use = animals.first_use(r, female_sire);
        refuse(animals.line(use), common::quoted(animals.name(r)) + " is used as a " +
                                      (female_sire ? "sire" : "dam") + " here but recorded as " +
                                      (female_sire ? "female" : "male") + " on line " +
                                      std::to_string(animals.line(r)));
    }
}

std::vector<AnimalIndex> parents_first_order(const NamedAnimals& animals, const Refusal& refuse)
{
    ParentsFirst found = parents_first(animals.sire(), animals.dam());
    if (!found.loop.empty()) {
        const auto first = static_cast<std::size_t>(found.loop.front());
        refuse(animals.line(first), "animal " + common::quoted(animals.name(first)) +
                                        " is its own ancestor: " + loop_text(animals, found.loop));
    }
    return std::move(found.order);
}

}  // namespace pedsim::pedigree
