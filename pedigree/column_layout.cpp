#include "pedigree/column_layout.h"

#include <algorithm>
#include <charconv>

#include "common/failure.h"

namespace pedsim::pedigree {

namespace {

[[noreturn]] void refuse(std::string_view choice, const std::string& what)
{
    throw common::Failure(common::ExitStatus::request_refused,
                          "--columns " + std::string(choice) + ": " + what +
                              " (pedsim-stats --help lists the options)");
}

Role role_of_key(std::string_view key)
{
    if (same_word(key, "id") || same_word(key, "animal")) return Role::animal;
    if (same_word(key, "sire")) return Role::sire;
    if (same_word(key, "dam")) return Role::dam;
    if (same_word(key, "time") || same_word(key, "generation") || same_word(key, "year"))
        return Role::time;
    if (same_word(key, "sex")) return Role::sex;
    return Role::none;
}

// A column number written as digits, or 0 when `value` is not one.
std::size_t column_number(std::string_view value)
{
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    return error == std::errc() && end == value.data() + value.size() ? number : 0;
}

const char* role_word(Role role)
{
    switch (role) {
    case Role::animal:
        return "id";
    case Role::sire:
        return "sire";
    case Role::dam:
        return "dam";
    case Role::time:
        return "time";
    case Role::sex:
        return "sex";
    case Role::none:
        break;
    }
    return "";
}

void check_entries(std::string_view choice, const std::vector<ColumnChoice::Entry>& entries)
{
    for (const Role role : {Role::animal, Role::sire, Role::dam})
        if (std::ranges::none_of(entries, [role](auto& e) { return e.role == role; }))
            refuse(choice, std::string("no ") + role_word(role) + " column; give id, sire and dam");
    for (std::size_t k = 0; k < entries.size(); ++k) {
        for (std::size_t j = 0; j < k; ++j) {
            if (entries[j].role == entries[k].role)
                refuse(choice, std::string(role_word(entries[k].role)) + " is given twice");
            const bool same_number =
                entries[k].number != 0 && entries[j].number == entries[k].number;
            const bool same_name =
                !entries[k].name.empty() && same_word(entries[j].name, entries[k].name);
            if (same_number || same_name)
                refuse(choice, std::string(role_word(entries[j].role)) + " and " +
                                   role_word(entries[k].role) + " name the same column");
        }
    }
}

}  // namespace

bool ColumnChoice::names_columns() const
{
    return std::ranges::any_of(entries, [](const Entry& e) { return !e.name.empty(); });
}

bool ColumnChoice::names(std::string_view field) const
{
    return std::ranges::any_of(
        entries, [field](const Entry& e) { return !e.name.empty() && same_word(e.name, field); });
}

ColumnChoice read_column_choice(std::string_view choice)
{
    constexpr Role positions[] = {Role::animal, Role::sire, Role::dam, Role::time, Role::sex};
    ColumnChoice result;
    result.text = choice;
    std::size_t position = 0;
    for (std::size_t start = 0; start <= choice.size();) {
        const std::size_t end = std::min(choice.find(',', start), choice.size());
        const std::string_view item = choice.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = item.find('=');
        ColumnChoice::Entry entry;
        std::string_view value = item;
        if (equals != std::string_view::npos) {
            entry.role = role_of_key(item.substr(0, equals));
            if (entry.role == Role::none)
                refuse(choice, "unknown key \"" + std::string(item.substr(0, equals)) +
                                   "\"; the keys are id, sire, dam, time and sex");
            value = item.substr(equals + 1);
        } else {
            if (position == std::size(positions))
                refuse(choice, "more than five columns; give id, sire, dam, time and sex at most");
            entry.role = positions[position];
            if (column_number(value) == 0)
                refuse(choice, "\"" + std::string(value) +
                                   "\" is no column number; write names as id=NAME,sire=NAME,...");
        }
        ++position;
        if (value.empty()) refuse(choice, std::string(role_word(entry.role)) + " has no column");
        entry.number = column_number(value);
        if (entry.number == 0 && value.find_first_not_of("0123456789") == std::string_view::npos)
            refuse(choice, "columns are counted from 1");
        if (entry.number == 0) entry.name = value;
        result.entries.push_back(entry);
    }
    check_entries(choice, result.entries);
    return result;
}

std::optional<std::size_t> ColumnLayout::column(Role role) const
{
    switch (role) {
    case Role::animal:
        return animal;
    case Role::sire:
        return sire;
    case Role::dam:
        return dam;
    case Role::time:
        return time;
    case Role::sex:
        return sex;
    case Role::none:
        break;
    }
    return std::nullopt;
}

std::vector<std::size_t> ColumnLayout::unused() const
{
    std::vector<std::size_t> columns;
    for (std::size_t k = row_names ? 1 : 0; k < fields; ++k)
        if (k != animal && k != sire && k != dam && k != time && k != sex) columns.push_back(k);
    return columns;
}

namespace {

// Puts column k, counted from 0, in the role's place of `layout`.
void place(ColumnLayout& layout, Role role, std::size_t k)
{
    switch (role) {
    case Role::animal:
        layout.animal = k;
        break;
    case Role::sire:
        layout.sire = k;
        break;
    case Role::dam:
        layout.dam = k;
        break;
    case Role::time:
        layout.time = k;
        break;
    case Role::sex:
        layout.sex = k;
        break;
    case Role::none:
        break;
    }
}

}  // namespace

std::optional<ColumnLayout> layout_of_header(std::span<const std::string_view> header,
                                             const ColumnChoice& choice)
{
    ColumnLayout layout;
    layout.row_names = !header.empty() && header[0].empty();
    std::optional<std::size_t> found[6];
    for (std::size_t k = layout.row_names ? 1 : 0; k < header.size(); ++k) {
        const Role role = header_role(header[k]);
        if (role != Role::none && !found[static_cast<int>(role)]) found[static_cast<int>(role)] = k;
    }
    for (const ColumnChoice::Entry& entry : choice.entries) {
        std::optional<std::size_t>& slot = found[static_cast<int>(entry.role)];
        if (entry.number != 0) {
            slot = entry.number - 1;
            continue;
        }
        const auto named = std::ranges::find_if(
            header, [&entry](std::string_view field) { return same_word(field, entry.name); });
        if (named == header.end())
            refuse(choice.text, "the header has no column \"" + entry.name + "\"");
        slot = static_cast<std::size_t>(named - header.begin());
    }
    if (!found[static_cast<int>(Role::animal)] || !found[static_cast<int>(Role::sire)] ||
        !found[static_cast<int>(Role::dam)])
        return std::nullopt;
    for (const Role role : {Role::animal, Role::sire, Role::dam, Role::time, Role::sex})
        if (found[static_cast<int>(role)]) place(layout, role, *found[static_cast<int>(role)]);
    layout.fields = header.size();
    return layout;
}

ColumnLayout layout_of_numbers(const ColumnChoice& choice)
{
    ColumnLayout layout;
    for (const ColumnChoice::Entry& entry : choice.entries)
        place(layout, entry.role, entry.number - 1);
    return layout;
}

}  // namespace pedsim::pedigree
