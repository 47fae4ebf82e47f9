#include "pedigree_reader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "exit_status.h"
#include "pedigree_fields.h"
#include "pedigree_order.h"

namespace pedsim::stats {

namespace {

using LineNumber = std::size_t;  // counted from 1, as editors show them

constexpr std::size_t most_animals = std::numeric_limits<AnimalIndex>::max();
constexpr std::size_t longest_name_shown = 40;
constexpr std::size_t most_loop_names_shown = 8;

struct Row {
    std::string_view animal, sire, dam;
    std::int64_t generation = 0;
    LineNumber line = 0;
};

// `name` in double quotes for a message, cut when long, with control
// characters shown as '?' so that the message stays on one line.
std::string quoted(std::string_view name)
{
    std::string text = "\"";
    for (const char c : name.substr(0, longest_name_shown))
        text += static_cast<unsigned char>(c) < ' ' ? '?' : c;
    if (name.size() > longest_name_shown) text += "...";
    return text + '"';
}

class Refusal {
public:
    explicit Refusal(std::string_view file_name) : file_name_(file_name) {}
    [[noreturn]] void operator()(LineNumber line, const std::string& what) const
    {
        throw Failure(input_refused,
                      std::string(file_name_) + ": line " + std::to_string(line) + ": " + what);
    }
    [[noreturn]] void whole_file(const std::string& what) const
    {
        throw Failure(input_refused, std::string(file_name_) + ": " + what);
    }

private:
    std::string_view file_name_;
};

std::int64_t read_generation(std::string_view field, LineNumber line, const Refusal& refuse)
{
    const std::string_view text = identifier(field);
    // 32 bits hold any generation or year, and leave room for one less or more.
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        refuse(line, "generation " + quoted(field) + " is outside the 32-bit integer range");
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        refuse(line, "generation " + quoted(field) + " is not an integer");
    return value;
}

Row read_row(std::span<const std::string_view> fields, LineNumber line, const Refusal& refuse)
{
    Row row{identifier(fields[0]), identifier(fields[1]), identifier(fields[2]), 0, line};
    if (is_unknown(row.animal))
        refuse(line,
               "the animal's identifier " + quoted(fields[0]) + " is a mark of an unknown parent");
    if (fields.size() == 4) row.generation = read_generation(fields[3], line, refuse);
    return row;
}

void check_field_count(std::size_t count, std::size_t expected, LineNumber first_line,
                       LineNumber line, const Refusal& refuse)
{
    const std::string fields = std::to_string(count) + (count == 1 ? " field" : " fields");
    if (count < 3) refuse(line, fields + "; a row gives an animal, its sire and its dam");
    if (count > 4)
        refuse(line, fields + "; a row gives at most an animal, its sire, its dam and a "
                              "generation or birth year");
    if (expected != 0 && count != expected)
        refuse(line, fields + " where line " + std::to_string(first_line) + " has " +
                         std::to_string(expected));
}

// The rows of the text, in input order; `columns` becomes 3 or 4.
std::vector<Row> read_rows(std::string_view text, const Refusal& refuse, std::size_t& columns)
{
    std::vector<Row> rows;
    rows.reserve(static_cast<std::size_t>(std::ranges::count(text, '\n')) + 1);
    std::vector<std::string_view> fields;
    LineNumber number = 0, first_line = 0;
    columns = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        if (const char* wrong = split_fields(line, fields)) refuse(number, wrong);
        check_field_count(fields.size(), columns, first_line, number, refuse);
        if (columns == 0) {
            columns = fields.size();
            first_line = number;
            if (is_header(fields)) continue;
        }
        rows.push_back(read_row(fields, number, refuse));
    }
    return rows;
}

// The animals numbered: the rows first, in input order, then each parent
// without a row, in the order they are first named. The hash map holds every
// name but those of rows numbered by their own position, "1" on the first
// row, "2" on the second and so on, as in pedsim's files, which are found by
// that number instead: a pedsim file needs no map at all.
class NamedAnimals {
public:
    NamedAnimals(const std::vector<Row>& rows, const Refusal& refuse) : rows_(rows), refuse_(refuse)
    {
        if (rows.size() > most_animals) refuse_.whole_file("more animals than 2147483647");
        names_.reserve(rows.size());
        for (std::size_t r = 0; r < rows.size(); ++r) enter_row(r);
        for (std::size_t r = 0; r < rows.size(); ++r) link_parents(r);
    }

    std::size_t rows() const { return rows_.size(); }
    std::size_t size() const { return names_.size(); }
    std::string_view name(std::size_t animal) const { return names_[animal]; }
    LineNumber line(std::size_t animal) const { return lines_[animal]; }
    const std::vector<AnimalIndex>& sire() const { return sire_; }
    const std::vector<AnimalIndex>& dam() const { return dam_; }

private:
    std::size_t numbered_row(std::string_view name) const;
    AnimalIndex find(std::string_view name) const;
    AnimalIndex add(std::string_view name, LineNumber line);
    void remember(std::string_view name, AnimalIndex animal);
    void enter_row(std::size_t r);
    AnimalIndex parent(std::string_view name, LineNumber line);
    void link_parents(std::size_t animal);

    const std::vector<Row>& rows_;
    const Refusal& refuse_;
    std::unordered_map<std::string_view, AnimalIndex> index_;
    std::vector<std::string_view> names_;
    std::vector<LineNumber> lines_;  // a row's line; for an added parent, where first named
    std::vector<AnimalIndex> sire_, dam_;
    std::vector<LineNumber> sire_line_, dam_line_;  // where first used as a sire, a dam; 0: never
};

// The row, counted from 0, whose animal is `name` when name is that row's
// number counted from 1; npos otherwise.
std::size_t NamedAnimals::numbered_row(std::string_view name) const
{
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size() || number == 0 ||
        number > rows_.size() || rows_[number - 1].animal != name)
        return std::string_view::npos;
    return number - 1;
}

// The animal named `name` among those entered so far and the numbered rows.
AnimalIndex NamedAnimals::find(std::string_view name) const
{
    const std::size_t row = numbered_row(name);
    if (row != std::string_view::npos) return static_cast<AnimalIndex>(row);
    const auto found = index_.find(name);
    return found != index_.end() ? found->second : unknown;
}

AnimalIndex NamedAnimals::add(std::string_view name, LineNumber line)
{
    if (names_.size() == most_animals) refuse_(line, "more animals than 2147483647");
    const auto animal = static_cast<AnimalIndex>(names_.size());
    names_.push_back(name);
    lines_.push_back(line);
    sire_.push_back(unknown);
    dam_.push_back(unknown);
    sire_line_.push_back(0);
    dam_line_.push_back(0);
    return animal;
}

// Enters `name` in the hash map, sized for every row at the first entry.
void NamedAnimals::remember(std::string_view name, AnimalIndex animal)
{
    if (index_.empty()) index_.reserve(rows_.size());
    index_.emplace(name, animal);
}

void NamedAnimals::enter_row(std::size_t r)
{
    const Row& row = rows_[r];
    if (numbered_row(row.animal) == r) {  // no other numbered row has its name
        add(row.animal, row.line);
        return;
    }
    const AnimalIndex found = find(row.animal);
    if (found != unknown) {
        const LineNumber other = rows_[static_cast<std::size_t>(found)].line;
        const LineNumber first = std::min(other, row.line), last = std::max(other, row.line);
        refuse_(last, "animal " + quoted(row.animal) + " is listed twice (lines " +
                          std::to_string(first) + " and " + std::to_string(last) + ")");
    }
    remember(row.animal, add(row.animal, row.line));
}

AnimalIndex NamedAnimals::parent(std::string_view name, LineNumber line)
{
    if (is_unknown(name)) return unknown;
    const AnimalIndex found = find(name);
    if (found != unknown) return found;
    const AnimalIndex added = add(name, line);
    remember(name, added);
    return added;
}

// Links row number `animal` (its index, the rows coming first) to its parents.
void NamedAnimals::link_parents(std::size_t animal)
{
    const Row& row = rows_[animal];
    const AnimalIndex sire = parent(row.sire, row.line), dam = parent(row.dam, row.line);
    if (sire == static_cast<AnimalIndex>(animal))
        refuse_(row.line, "animal " + quoted(row.animal) + " is its own sire");
    if (dam == static_cast<AnimalIndex>(animal))
        refuse_(row.line, "animal " + quoted(row.animal) + " is its own dam");
    sire_[animal] = sire;
    dam_[animal] = dam;
    const auto use = [&](AnimalIndex parent, std::vector<LineNumber>& as,
                         const std::vector<LineNumber>& as_other, const char* role_here,
                         const char* other_role) {
        if (parent == unknown) return;
        const auto p = static_cast<std::size_t>(parent);
        if (as_other[p] != 0)
            refuse_(row.line, quoted(names_[p]) + " is used as a " + role_here + " here and as a " +
                                  other_role + " on line " + std::to_string(as_other[p]));
        if (as[p] == 0) as[p] = row.line;
    };
    use(sire, sire_line_, dam_line_, "sire", "dam");
    use(dam, dam_line_, sire_line_, "dam", "sire");
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

// Generations read from the fourth column; an added parent's is one less than
// the earliest of its offspring's.
std::vector<std::int64_t> given_generations(const std::vector<Row>& rows,
                                            const NamedAnimals& animals)
{
    std::vector<std::int64_t> generation(animals.size(), std::numeric_limits<std::int64_t>::max());
    for (std::size_t r = 0; r < rows.size(); ++r) generation[r] = rows[r].generation;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (const AnimalIndex parent : {animals.sire()[r], animals.dam()[r]}) {
            const auto p = static_cast<std::size_t>(parent);
            if (parent != unknown && p >= animals.rows())
                generation[p] = std::min(generation[p], rows[r].generation - 1);
        }
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

}  // namespace

Pedigree read_pedigree(std::string_view text, std::string_view file_name)
{
    const Refusal refuse(file_name);
    // The byte order mark that spreadsheets put before a UTF-8 text is no identifier.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::size_t columns = 0;
    const std::vector<Row> rows = read_rows(text, refuse, columns);
    if (rows.empty()) refuse.whole_file("no animal: the file holds no row");
    const NamedAnimals animals(rows, refuse);
    const std::vector<AnimalIndex> order = parents_first_order(animals, refuse);
    const bool generation_given = columns == 4;
    Pedigree pedigree = in_order(animals, order,
                                 generation_given ? given_generations(rows, animals)
                                                  : derived_generations(animals, order));
    pedigree.generation_given = generation_given;
    return pedigree;
}

}  // namespace pedsim::stats
