#include "pedigree/pedigree_fields.h"

#include <algorithm>
#include <array>
#include <utility>

namespace pedsim::pedigree {

namespace {

constexpr std::string_view blanks = " \t\r";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// ASCII letters folded to lower case, every other byte kept: what
// std::tolower does in the "C" locale these programs run in, without a call
// per byte (the test of each row's animal against the header words took 7%
// of the reading of a file of short lettered names).
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_ascii_letter(char c) { return ascii_lower(c) >= 'a' && ascii_lower(c) <= 'z'; }

// The first blank at or after `from`; npos when none is. A loop over the
// bytes: find_first_of() would search the set of blanks once per byte.
std::size_t first_blank(std::string_view line, std::size_t from)
{
    for (std::size_t k = from; k < line.size(); ++k)
        if (is_blank(line[k])) return k;
    return std::string_view::npos;
}

std::string_view trimmed(std::string_view text, std::string_view trim)
{
    const std::size_t first = text.find_first_not_of(trim);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(trim) - first + 1);
}

// A quoted field starting at `start`: its text, and the position after the
// closing quote; npos when the quote is never closed.
std::string_view quoted_field(std::string_view line, std::size_t start, std::size_t& after)
{
    const std::size_t close = line.find('"', start + 1);
    after = close == std::string_view::npos ? close : close + 1;
    return line.substr(start + 1, close - start - 1);
}

// Each separator's character and its name, in the order of Separator.
struct SeparatorText {
    char character;
    const char* name;
};
constexpr SeparatorText separator_texts[] = {
    {' ', "blank-separated"},
    {'\t', "tab-separated"},
    {';', "semicolon-separated"},
    {',', "comma-separated"},
};

const SeparatorText& separator_text(Separator separator)
{
    return separator_texts[static_cast<std::size_t>(separator)];
}

char separator_char(Separator separator) { return separator_text(separator).character; }

const char* split_at(std::string_view line, char separator, std::size_t most_fields,
                     std::vector<std::string_view>& fields)
{
    // A tab separates fields in a tab-separated line; it is no blank to trim.
    const std::string_view trim = separator == '\t' ? " \r" : blanks;
    for (std::size_t start = 0; fields.size() <= most_fields;) {
        std::size_t end = line.find(separator, start);
        std::string_view field = trimmed(line.substr(start, end - start), trim);
        if (field.starts_with('"')) {
            std::size_t after = 0;
            const std::size_t open = line.find('"', start);
            field = quoted_field(line, open, after);
            if (after == std::string_view::npos) return "a double quote is not closed";
            end = line.find(separator, after);
            if (!trimmed(line.substr(after, end - after), trim).empty())
                return separator == ','   ? "text follows a closing double quote before the next "
                                            "comma"
                       : separator == ';' ? "text follows a closing double quote before the next "
                                            "semicolon"
                                          : "text follows a closing double quote before the next "
                                            "tab";
        }
        fields.push_back(field);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return nullptr;
}

const char* split_at_blanks(std::string_view line, std::size_t most_fields,
                            std::vector<std::string_view>& fields)
{
    for (std::size_t start = first_non_blank(line);
         start != std::string_view::npos && fields.size() <= most_fields;
         start = first_non_blank(line, start)) {
        std::size_t end = 0;
        if (line[start] == '"') {
            fields.push_back(quoted_field(line, start, end));
            if (end == std::string_view::npos) return "a double quote is not closed";
            if (end < line.size() && !is_blank(line[end]))
                return "text follows a closing double quote without a blank";
        } else {
            end = first_blank(line, start);
            fields.push_back(line.substr(start, end - start));
        }
        start = end;
    }
    return nullptr;
}

struct Word {
    std::string_view text;
    Role role;
};

constexpr std::array header_words{
    Word{"id", Role::animal},         Word{"animal", Role::animal},   Word{"ind", Role::animal},
    Word{"individual", Role::animal}, Word{"code", Role::animal},     Word{"name", Role::animal},
    Word{"sire", Role::sire},         Word{"father", Role::sire},     Word{"pere", Role::sire},
    Word{"padre", Role::sire},        Word{"vater", Role::sire},      Word{"dam", Role::dam},
    Word{"mother", Role::dam},        Word{"mere", Role::dam},        Word{"madre", Role::dam},
    Word{"mutter", Role::dam},        Word{"generation", Role::time}, Word{"gen", Role::time},
    Word{"birth", Role::time},        Word{"year", Role::time},       Word{"born", Role::time},
    Word{"birthyear", Role::time},    Word{"birth_year", Role::time}, Word{"date", Role::time},
    Word{"sex", Role::sex},           Word{"gender", Role::sex},
};

bool contains_word(std::string_view field, std::string_view word)
{
    const auto same = [](char a, char b) { return ascii_lower(a) == b; };
    return std::search(field.begin(), field.end(), word.begin(), word.end(), same) != field.end();
}

}  // namespace

const char* separator_name(Separator separator) { return separator_text(separator).name; }

Separator separator_of(std::span<const std::string_view> lines)
{
    for (const Separator separator : {Separator::tab, Separator::semicolon, Separator::comma}) {
        const char c = separator_char(separator);
        const auto holds = [c](std::string_view line) {
            return line.find(c) != std::string_view::npos;
        };
        if (!lines.empty() && std::ranges::all_of(lines, holds)) return separator;
    }
    return Separator::blanks;
}

std::size_t first_non_blank(std::string_view line, std::size_t from)
{
    for (std::size_t k = from; k < line.size(); ++k)
        if (!is_blank(line[k])) return k;
    return std::string_view::npos;
}

bool is_empty_row(std::string_view line)
{
    return std::ranges::all_of(line, [](char c) { return is_blank(c) || c == ',' || c == ';'; });
}

const char* split_fields(std::string_view line, Separator separator, std::size_t most_fields,
                         std::vector<std::string_view>& fields)
{
    fields.clear();
    if (separator == Separator::blanks) return split_at_blanks(line, most_fields, fields);
    return split_at(line, separator_char(separator), most_fields, fields);
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

bool same_word(std::string_view a, std::string_view b)
{
    const auto same = [](char x, char y) { return ascii_lower(x) == ascii_lower(y); };
    return a.size() == b.size() && std::ranges::equal(a, b, same);
}

Role header_role(std::string_view field)
{
    // Longer than every word, or not starting with a letter: the common case of data.
    if (field.empty() || field.size() > 10 || !is_ascii_letter(field[0])) return Role::none;
    for (const Word& word : header_words)
        if (same_word(field, word.text)) return word.role;
    return Role::none;
}

bool names_parents(std::span<const std::string_view> fields)
{
    return fields.size() >= 3 &&
           (contains_word(fields[1], "sire") || contains_word(fields[1], "father")) &&
           (contains_word(fields[2], "dam") || contains_word(fields[2], "mother"));
}

}  // namespace pedsim::pedigree
