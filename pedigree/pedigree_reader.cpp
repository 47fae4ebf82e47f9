#include "pedigree/pedigree_reader.h"

#include <string>
#include <vector>

#include "pedigree/indexing.h"
#include "pedigree/named_animals.h"
#include "pedigree/pedigree_generations.h"

namespace pedsim::pedigree {

namespace {

Pedigree in_order(const NamedAnimals& animals, const std::vector<AnimalIndex>& order,
                  const std::vector<std::int64_t>& generation)
{
    // A file already in order keeps every index: looking up each dam's new
    // place would read at random for nothing.
    bool kept = true;
    for (std::size_t k = 0; k < order.size() && kept; ++k) kept = order[k] == animal_at(k);
    std::vector<AnimalIndex> position(kept ? 0 : animals.size());
    for (std::size_t k = 0; k < order.size() && !kept; ++k)
        position[static_cast<std::size_t>(order[k])] = static_cast<AnimalIndex>(k);
    const auto moved = [&](AnimalIndex parent) {
        return parent == unknown || kept ? parent : position[static_cast<std::size_t>(parent)];
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

// The kept columns with a level per animal, in the pedigree's order; none
// for a parent without a row.
std::vector<KeptColumn> kept_in_order(std::vector<KeptColumn> kept,
                                      const std::vector<AnimalIndex>& order)
{
    for (KeptColumn& column : kept) {
        if (!column.absent.empty()) continue;
        std::vector<std::uint32_t> level(order.size(), no_level);
        for (std::size_t k = 0; k < order.size(); ++k) {
            const auto animal = static_cast<std::size_t>(order[k]);
            if (animal < column.level.size()) level[k] = column.level[animal];
        }
        column.level = std::move(level);
    }
    return kept;
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
    if (!read.kept.empty()) pedigree.kept = kept_in_order(std::move(read.kept), order);
    if (!read.birth_time.empty())
        pedigree.birth_time = birth_times(read.birth_time, order, pedigree);
    pedigree.generation_source = std::move(read.generation_source);
    pedigree.layout = std::move(read.layout);
    pedigree.notes = std::move(read.notes);
    return pedigree;
}

}  // namespace pedsim::pedigree
