#include "pedigree_fields.h"

#include <algorithm>
#include <cctype>

namespace pedsim::stats {

namespace {

constexpr std::string_view blanks = " \t\r";

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A quoted field starting at `start`: its text, and the position after the
// closing quote; npos when the quote is never closed.
std::string_view quoted_field(std::string_view line, std::size_t start, std::size_t& after)
{
    const std::size_t close = line.find('"', start + 1);
    after = close == std::string_view::npos ? close : close + 1;
    return line.substr(start + 1, close - start - 1);
}

const char* split_at_commas(std::string_view line, std::vector<std::string_view>& fields)
{
    for (std::size_t start = 0;;) {
        std::size_t end = line.find(',', start);
        std::string_view field = trimmed(line.substr(start, end - start));
        if (field.starts_with('"')) {
            std::size_t after = 0;
            const std::size_t open = line.find('"', start);
            field = quoted_field(line, open, after);
            if (after == std::string_view::npos) return "a double quote is not closed";
            end = line.find(',', after);
            if (!trimmed(line.substr(after, end - after)).empty())
                return "text follows a closing double quote before the next comma";
        }
        fields.push_back(field);
        if (end == std::string_view::npos) return nullptr;
        start = end + 1;
    }
}

const char* split_at_blanks(std::string_view line, std::vector<std::string_view>& fields)
{
    for (std::size_t start = line.find_first_not_of(blanks); start != std::string_view::npos;
         start = line.find_first_not_of(blanks, start)) {
        std::size_t end = 0;
        if (line[start] == '"') {
            fields.push_back(quoted_field(line, start, end));
            if (end == std::string_view::npos) return "a double quote is not closed";
            if (end < line.size() && blanks.find(line[end]) == std::string_view::npos)
                return "text follows a closing double quote without a blank";
        } else {
            end = line.find_first_of(blanks, start);
            fields.push_back(line.substr(start, end - start));
        }
        start = end;
    }
    return nullptr;
}

bool contains_word(std::string_view field, std::string_view word)
{
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
    };
    return std::search(field.begin(), field.end(), word.begin(), word.end(), same) != field.end();
}

}  // namespace

const char* split_fields(std::string_view line, std::vector<std::string_view>& fields)
{
    fields.clear();
    if (line.find(',') != std::string_view::npos) return split_at_commas(line, fields);
    return split_at_blanks(line, fields);
}

std::string_view identifier(std::string_view field)
{
    const std::size_t point = field.find('.');
    if (point == std::string_view::npos || point + 1 == field.size()) return field;
    const std::string_view whole = field.substr(0, point);
    const std::string_view digits = whole.starts_with('-') ? whole.substr(1) : whole;
    const bool integral =
        !digits.empty() && std::ranges::all_of(digits, [](char c) { return c >= '0' && c <= '9'; });
    const bool zero_fraction = field.find_first_not_of('0', point + 1) == std::string_view::npos;
    return integral && zero_fraction ? whole : field;
}

bool is_unknown(std::string_view identifier)
{
    return identifier.empty() || identifier == "0" || identifier == "NA" || identifier == "." ||
           identifier == "-";
}

bool is_header(std::span<const std::string_view> fields)
{
    return fields.size() >= 3 &&
           (contains_word(fields[1], "sire") || contains_word(fields[1], "father")) &&
           (contains_word(fields[2], "dam") || contains_word(fields[2], "mother"));
}

}  // namespace pedsim::stats
