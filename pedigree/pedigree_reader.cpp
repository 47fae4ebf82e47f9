#include "pedigree/pedigree_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/failure.h"
#include "pedigree/pedigree_fields.h"
#include "pedigree/pedigree_order.h"

namespace pedsim::pedigree {

namespace {

constexpr std::size_t most_loop_names_shown = 8;

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
        refuse_(line(row), quoted(name(p)) + " is used as a " + (sire ? "sire" : "dam") +
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
        refuse_(line(animal), "animal " + quoted(names_[animal]) + " is its own sire");
    if (dam == static_cast<AnimalIndex>(animal))
        refuse_(line(animal), "animal " + quoted(names_[animal]) + " is its own dam");
    use(sire, true, animal);
    use(dam, false, animal);
}

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

// One note for each parent without a row whose name looks like a mark of
// an unknown parent: all its offspring are related through it.
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
                        ": parent " + quoted(animals.name(p)) + " has no row and " +
                        std::to_string(offspring) +
                        " offspring, related through it; if it marks an unknown parent, give "
                        "--unknown " +
                        std::string(animals.name(p)));
    }
    return notes;
}

// Refuses a sire recorded as female or a dam recorded as male.
void check_sexes(const NamedAnimals& animals, const std::vector<Sex>& sex, const Refusal& refuse)
{
    for (std::size_t r = 0; r < sex.size(); ++r) {
        const bool female_sire = sex[r] == Sex::female && animals.used_as_sire(r);
        const bool male_dam = sex[r] == Sex::male && animals.used_as_dam(r);
        if (!female_sire && !male_dam) continue;
        const std::size_t use = animals.first_use(r, female_sire);
        refuse(animals.line(use), quoted(animals.name(r)) + " is used as a " +
                                      (female_sire ? "sire" : "dam") + " here but recorded as " +
                                      (female_sire ? "female" : "male") + " on line " +
                                      std::to_string(animals.line(r)));
    }
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
        text += quoted(animals.name(static_cast<std::size_t>(loop[k]))) + " -> ";
    }
    return text + quoted(animals.name(static_cast<std::size_t>(loop.front())));
}

std::vector<AnimalIndex> parents_first_order(const NamedAnimals& animals, const Refusal& refuse)
{
    ParentsFirst found = parents_first(animals.sire(), animals.dam());
    if (!found.loop.empty()) {
        const auto first = static_cast<std::size_t>(found.loop.front());
        refuse(animals.line(first), "animal " + quoted(animals.name(first)) +
                                        " is its own ancestor: " + loop_text(animals, found.loop));
    }
    return std::move(found.order);
}

// Generations read from the rows; an added parent's is one less than the
// earliest of its offspring's; an animal without one (a missing value)
// takes 1 + the latest of its known parents', a founder the earliest
// generation of the file.
std::vector<std::int64_t> given_generations(const std::vector<std::int64_t>& given,
                                            const NamedAnimals& animals,
                                            const std::vector<AnimalIndex>& order)
{
    std::vector<std::int64_t> generation(animals.size(), no_generation);
    std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
    for (std::size_t r = 0; r < given.size(); ++r) {
        generation[r] = given[r];
        if (given[r] != no_generation) earliest = std::min(earliest, given[r]);
    }
    for (std::size_t r = 0; r < given.size(); ++r) {
        if (given[r] == no_generation) continue;
        for (const AnimalIndex parent : {animals.sire()[r], animals.dam()[r]}) {
            const auto p = static_cast<std::size_t>(parent);
            if (parent == unknown || p < animals.rows()) continue;
            if (generation[p] == no_generation || generation[p] > given[r] - 1)
                generation[p] = given[r] - 1;
            earliest = std::min(earliest, generation[p]);
        }
    }
    if (earliest == std::numeric_limits<std::int64_t>::max()) earliest = 0;
    for (const AnimalIndex a : order) {
        const auto animal = static_cast<std::size_t>(a);
        if (generation[animal] != no_generation) continue;
        std::int64_t latest = no_generation;
        for (const AnimalIndex parent : {animals.sire()[animal], animals.dam()[animal]})
            if (parent != unknown)
                latest = std::max(latest, generation[static_cast<std::size_t>(parent)]);
        generation[animal] = latest == no_generation ? earliest : latest + 1;
    }
    return generation;
}

// Generations derived in parents-first order: 0 for a founder, else 1 + the
// latest of its known parents'.
std::vector<std::int64_t> derived_generations(const NamedAnimals& animals,
                                              const std::vector<AnimalIndex>& order)
{
    std::vector<std::int64_t> generation(animals.size(), 0);
    for (const AnimalIndex a : order) {
        const auto animal = static_cast<std::size_t>(a);
        std::int64_t latest = -1;
        for (const AnimalIndex parent : {animals.sire()[animal], animals.dam()[animal]})
            if (parent != unknown)
                latest = std::max(latest, generation[static_cast<std::size_t>(parent)]);
        generation[animal] = latest + 1;
    }
    return generation;
}

Pedigree in_order(const NamedAnimals& animals, const std::vector<AnimalIndex>& order,
                  const std::vector<std::int64_t>& generation)
{
    std::vector<AnimalIndex> position(animals.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        position[static_cast<std::size_t>(order[k])] = static_cast<AnimalIndex>(k);
    const auto moved = [&](AnimalIndex parent) {
        return parent == unknown ? unknown : position[static_cast<std::size_t>(parent)];
    };
    Pedigree pedigree;
    pedigree.names.reserve(order.size());
    pedigree.sire.reserve(order.size());
    pedigree.dam.reserve(order.size());
    pedigree.generation.reserve(order.size());
    for (const AnimalIndex a : order) {
        const auto animal = static_cast<std::size_t>(a);
        pedigree.names.emplace_back(animals.name(animal));
        pedigree.sire.push_back(moved(animals.sire()[animal]));
        pedigree.dam.push_back(moved(animals.dam()[animal]));
        pedigree.generation.push_back(generation[animal]);
    }
    pedigree.founders_added = animals.size() - animals.rows();
    return pedigree;
}

// Each animal's birth in fractional years, in the pedigree's order: the date
// of its row, or the start of its year for an animal without one (a missing
// date, a parent without a row).
std::vector<double> birth_times(const std::vector<double>& dated,
                                const std::vector<AnimalIndex>& order, const Pedigree& pedigree)
{
    std::vector<double> birth(order.size());
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto animal = static_cast<std::size_t>(order[k]);
        const bool has_date = animal < dated.size() && !std::isnan(dated[animal]);
        birth[k] = has_date ? dated[animal] : static_cast<double>(pedigree.generation[k]);
    }
    return birth;
}

// Whether each animal's generation stands on its own row, in the pedigree's
// order: not for a missing value nor for a parent without a row.
std::vector<bool> recorded_generations(const std::vector<std::int64_t>& given,
                                       const std::vector<AnimalIndex>& order)
{
    std::vector<bool> recorded(order.size(), false);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto animal = static_cast<std::size_t>(order[k]);
        recorded[k] = animal < given.size() && given[animal] != no_generation;
    }
    return recorded;
}

// Each animal's recorded sex, in the pedigree's order; unrecorded for a
// parent without a row.
std::vector<Sex> sexes(const std::vector<Sex>& recorded, const std::vector<AnimalIndex>& order)
{
    std::vector<Sex> sex(order.size(), Sex::unrecorded);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto animal = static_cast<std::size_t>(order[k]);
        if (animal < recorded.size()) sex[k] = recorded[animal];
    }
    return sex;
}

// The byte order marks of the encodings a pedigree must not be in.
void refuse_wide_encodings(std::string_view text, const Refusal& refuse)
{
    const struct {
        std::string_view mark;
        const char* encoding;
    } marks[] = {
        {{"\xFF\xFE\x00\x00", 4}, "UTF-32"},
        {{"\x00\x00\xFE\xFF", 4}, "UTF-32"},
        {"\xFF\xFE", "UTF-16"},
        {"\xFE\xFF", "UTF-16"},
    };
    for (const auto& m : marks)
        if (text.starts_with(m.mark))
            refuse.whole_file(std::string("encoded as ") + m.encoding +
                              "; save it as UTF-8 (iconv -f " + m.encoding + " -t UTF-8)");
}

}  // namespace

Pedigree read_pedigree(std::string_view text, std::string_view file_name, const ReadingRules& rules)
{
    const Refusal refuse(file_name);
    refuse_wide_encodings(text, refuse);
    // The byte order mark that spreadsheets put before a UTF-8 text is no identifier.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    PedigreeRows read = read_rows(text, refuse, rules);
    if (read.animal.empty()) refuse.whole_file("no animal: the file holds no row");
    NamedAnimals animals(read, text, refuse, rules.selfing);
    check_sexes(animals, read.sex, refuse);
    animals.forget_uses();
    std::vector<std::string> unknown_notes = unknown_like_parents(animals, file_name);
    read.notes.insert(read.notes.end(), unknown_notes.begin(), unknown_notes.end());
    const std::vector<AnimalIndex> order = parents_first_order(animals, refuse);
    Pedigree pedigree =
        in_order(animals, order,
                 read.generation.empty() ? derived_generations(animals, order)
                                         : given_generations(read.generation, animals, order));
    pedigree.generation_given = !read.generation.empty();
    if (pedigree.generation_given)
        pedigree.generation_recorded = recorded_generations(read.generation, order);
    if (!read.sex.empty()) pedigree.sex = sexes(read.sex, order);
    if (!read.birth_time.empty())
        pedigree.birth_time = birth_times(read.birth_time, order, pedigree);
    pedigree.generation_source = std::move(read.generation_source);
    pedigree.layout = std::move(read.layout);
    pedigree.notes = std::move(read.notes);
    return pedigree;
}

}  // namespace pedsim::pedigree
