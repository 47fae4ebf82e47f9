#include "pedigree/kept_columns.h"

#include <algorithm>

#include "common/failure.h"
#include "pedigree/rows_reader.h"

namespace pedsim::pedigree {

namespace {

// The header's names, for a message: "id, sire, dam, herd".
std::string names_of(std::span<const std::string> header)
{
    std::string text;
    for (const std::string& name : header)
        if (!name.empty()) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void KeptColumns::locate(const ColumnLayout& layout, std::span<const std::string> header)
{
    const std::size_t base = layout.row_names ? 1 : 0;
    for (const ColumnRequest& request : requests_) {
        State state;
        state.by_name = request.number == 0;
        if (!state.by_name) {
            state.field = base + request.number - 1;
            if (state.field >= layout.fields)
                state.column.absent = "column " + std::to_string(request.number) +
                                      " is beyond the " + std::to_string(layout.fields - base) +
                                      " fields of a row";
        } else if (header.empty()) {
            state.column.absent = "it has no header to name its columns by";
        } else {
            const auto named = std::find_if(header.begin(), header.end(), [&](const auto& field) {
                return same_word(field, request.name);
            });
            state.field = static_cast<std::size_t>(named - header.begin());
            if (named == header.end())
                state.column.absent = "its header has no column " + common::quoted(request.name) +
                                      " (its columns: " + names_of(header) + ")";
        }
        states_.push_back(std::move(state));
    }
}

bool KeptColumns::keeps(std::size_t field) const
{
    return std::any_of(states_.begin(), states_.end(), [field](const State& state) {
        return state.column.absent.empty() && state.field == field;
    });
}

void KeptColumns::add_row(std::span<const std::string_view> fields)
{
    for (State& state : states_) {
        if (!state.column.absent.empty()) continue;
        const std::string_view field = fields[state.field];
        if (is_missing_value(field)) {
            state.column.level.push_back(no_level);
            continue;
        }
        const std::string_view value = identifier(field);
        const auto [place, added] =
            state.codes.try_emplace(value, static_cast<std::uint32_t>(state.column.labels.size()));
        if (added) state.column.labels.emplace_back(value);
        state.column.level.push_back(place->second);
    }
}

void KeptColumns::header_was_a_row()
{
    for (State& state : states_)
        if (state.by_name)
            state.column = {
                "its first line is a row, not a header, so no column has a name", {}, {}};
}

void KeptColumns::last_row_first()
{
    for (State& state : states_)
        if (!state.column.level.empty())
            std::rotate(state.column.level.begin(), state.column.level.end() - 1,
                        state.column.level.end());
}

std::vector<KeptColumn> KeptColumns::take()
{
    std::vector<KeptColumn> columns;
    for (State& state : states_) columns.push_back(std::move(state.column));
    return columns;
}

}  // namespace pedsim::pedigree
