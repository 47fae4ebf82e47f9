#include <algorithm>
#include <charconv>
#include <span>

#include "common/failure.h"
#include "pedigree/birth_dates.h"
#include "pedigree/rows_reader.h"

namespace pedsim::pedigree {

namespace {

constexpr std::size_t lines_deciding_separator = 5;

std::string count_text(std::size_t count)
{
    return std::to_string(count) + (count == 1 ? " field" : " fields");
}

// What to say of a line that holds another separator than the file's.
std::string separator_hint(std::string_view line, Separator separator)
{
    const struct {
        char c;
        Separator is;
        const char* name;
    } others[] = {{'\t', Separator::tab, "tabs"},
                  {';', Separator::semicolon, "semicolons"},
                  {',', Separator::comma, "commas"}};
    for (const auto& other : others)
        if (other.is != separator && line.find(other.c) != std::string_view::npos)
            return std::string("; this line holds ") + other.name +
                   " but the file's first lines make it " + separator_name(separator) +
                   ": use one separator on every line";
    return "";
}

// A number of any kind, "2.5" or "3e9" as well as "12": in a fourth column,
// a generation that must then be an integer.
bool is_number(std::string_view field)
{
    if (field.starts_with('+')) field.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return !field.empty() && end == field.data() + field.size() &&
           (error == std::errc() || error == std::errc::result_out_of_range);
}

// The column names in a summary: the header's words, else numbers from 1.
std::string column_names(const std::vector<std::size_t>& columns,
                         const std::vector<std::string>& header)
{
    std::string text;
    for (const std::size_t k : columns) {
        if (!text.empty()) text += ", ";
        text += k < header.size() && !header[k].empty() ? header[k] : std::to_string(k + 1);
    }
    return text;
}

}  // namespace

Separator separator_of_text(std::string_view text)
{
    std::vector<std::string_view> first_lines;
    DataLines lines(text);
    std::string_view line;
    LineNumber number = 0;
    while (first_lines.size() < lines_deciding_separator && lines.next(line, number))
        first_lines.push_back(line);
    return separator_of(first_lines);
}

// The first data line: a header, or the first row.
void RowsReader::take_first_line(std::string_view line, LineNumber number)
{
    if (const char* wrong = split_fields(line, separator_, most_columns, fields_))
        refuse_(number, wrong);
    if (fields_.size() > most_columns)
        refuse_(number,
                "more than " + std::to_string(most_columns) + " fields; is this a pedigree?");
    const bool named = rules_.columns.names_columns();
    if (named && rules_.header == false)
        throw common::Failure(common::ExitStatus::request_refused,
                              "--columns names columns by their header names but "
                              "--no-header says the file has no header");
    header_ = named || rules_.header.value_or(is_header_line());
    if (!header_ && !rules_.header && names_parents(fields_)) {
        // The rule of earlier versions: settled once the file is read.
        header_ = guessed_header_ = true;
    }
    first_line_ = line;
    first_number_ = number;
    if (!header_) {
        set_layout(fields_.size(), number);
        check_count(line, number);
        add_row(number);
        return;
    }
    header_number_ = number;
    for (const std::string_view field : fields_) header_names_.emplace_back(field);
    if (!guessed_header_) header_layout_ = layout_of_header(fields_, rules_.columns);
    layout_.fields = fields_.size();
}

// Every field a header word (a first one may be empty, R's row names).
bool RowsReader::all_header_words() const
{
    const auto word = [this](std::string_view field) {
        return header_role(field) != Role::none || rules_.columns.names(field);
    };
    const std::span<const std::string_view> fields(fields_);
    return fields.size() >= 2 && (word(fields[0]) || fields[0].empty()) &&
           std::ranges::all_of(fields.subspan(1), word);
}

// All header words, or those of the animal, the sire and the dam among
// other names.
bool RowsReader::is_header_line() const
{
    // Columns given by number say nothing of whether the line is a header.
    const ColumnChoice by_names = rules_.columns.names_columns() ? rules_.columns : ColumnChoice{};
    return all_header_words() || layout_of_header(fields_, by_names).has_value();
}

// The columns by position, decided on the first row of `count` fields.
void RowsReader::set_layout(std::size_t count, LineNumber number)
{
    const std::size_t header_count = layout_.fields;
    layout_ = header_layout_                   ? *header_layout_
              : rules_.columns.entries.empty() ? ColumnLayout{}
                                               : layout_of_numbers(rules_.columns);
    layout_.fields = header_ ? header_count : count;
    if (header_ && count == header_count + 1 && count > 3 && !layout_.row_names) {
        // R's write.table: a column of row names without a header of its own.
        layout_.row_names = true;
        layout_.fields = count;
        for (std::size_t* column : {&layout_.animal, &layout_.sire, &layout_.dam}) ++*column;
        if (layout_.time) ++*layout_.time;
        if (layout_.sex) ++*layout_.sex;
        header_names_.insert(header_names_.begin(), "");
    }
    layout_set_ = true;
    const std::size_t base = layout_.row_names ? 1 : 0;
    if (!header_layout_ && rules_.columns.entries.empty() && layout_.fields > base + 3 &&
        count == layout_.fields &&
        (is_missing_value(fields_[base + 3]) || is_number(fields_[base + 3]) ||
         date_named(identifier(fields_[base + 3]))))
        layout_.time = base + 3;
    for (const std::optional<std::size_t> column :
         {std::optional(layout_.animal), std::optional(layout_.sire), std::optional(layout_.dam),
          layout_.time, layout_.sex})
        if (column && *column >= layout_.fields && layout_.fields >= 3)
            throw common::Failure(common::ExitStatus::request_refused,
                                  "--columns " + rules_.columns.text + ": column " +
                                      std::to_string(*column + 1) + " is beyond the " +
                                      count_text(layout_.fields) + " of line " +
                                      std::to_string(number));
    if (!kept_.empty()) kept_.locate(layout_, header_ ? header_names_ : std::vector<std::string>{});
    std::vector<std::size_t> unused = layout_.unused();
    std::erase_if(unused, [this](std::size_t k) { return kept_.keeps(k); });
    if (!unused.empty() && !header_)
        result_.notes.push_back(std::string(refuse_.file_name()) + ": line " +
                                std::to_string(number) + ": column" +
                                (unused.size() == 1 ? " " : "s ") + column_names(unused, {}) +
                                " ignored; without a header a row gives animal, sire, dam and a "
                                "generation or birth year (--columns names other columns)");
}

void RowsReader::refuse_count(std::string_view line, LineNumber number) const
{
    const std::size_t count = fields_.size();
    const std::string hint = separator_hint(line, separator_);
    if (count < 3)
        refuse_(number, count_text(count) + "; a row gives an animal, its sire and its dam" + hint);
    const LineNumber first = header_ ? header_number_ : first_number_;
    if (count > layout_.fields + 1)
        refuse_(number, "more than " + count_text(layout_.fields + 1) + " where line " +
                            std::to_string(first) + " has " + std::to_string(layout_.fields) +
                            hint);
    refuse_(number, count_text(count) + " where line " + std::to_string(first) + " has " +
                        std::to_string(layout_.fields) + hint);
}

void RowsReader::refuse_header_in_middle(LineNumber number) const
{
    refuse_(number, "a header in the middle of the file (every field is a column name); remove "
                    "it, as when files are joined with their headers");
}

// True when a row after the first names the entry, as animal or parent.
bool RowsReader::used_after_first_row(NameEntry entry) const
{
    const auto later = [entry](const std::vector<NameEntry>& column) {
        return std::find(column.begin() + 1, column.end(), entry) != column.end();
    };
    return later(result_.animal) || later(result_.sire) || later(result_.dam);
}

// A first line taken for a header by the rule of earlier versions is a row
// after all when its parents are named elsewhere ("c1 SIRE1 DAM1"); a first
// row whose parents are named nowhere else may be a header of unknown words.
void RowsReader::settle_first_line()
{
    if (guessed_header_) {
        // Every row's names are entered: a name found is named elsewhere.
        if (result_.names.find(identifier(header_names_[1])) == unknown &&
            result_.names.find(identifier(header_names_[2])) == unknown)
            return;
        header_ = false;
        kept_.header_was_a_row();
        split_fields(first_line_, separator_, layout_.fields, fields_);
        const std::size_t rows = result_.animal.size();
        add_row(first_number_);
        enter_pending_rows();
        const auto last_to_front = [rows](auto& values) {
            if (values.size() > rows)
                std::rotate(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rows),
                            values.end());
        };
        last_to_front(result_.animal);
        last_to_front(result_.sire);
        last_to_front(result_.dam);
        last_to_front(result_.generation);
        last_to_front(sexes_);
        last_to_front(result_.birth_time);
        kept_.last_row_first();
        for (AnimalIndex& row : result_.entry_row)
            if (row != unknown) row = row == static_cast<AnimalIndex>(rows) ? 0 : row + 1;
        // A parent without a row is placed where it is first named: now here.
        const std::pair<NameEntry, std::string_view> parents[] = {
            {result_.sire[0], parent(fields_[layout_.sire])},
            {result_.dam[0], parent(fields_[layout_.dam])}};
        for (const auto& [entry, name] : parents)
            if (entry != unknown && result_.entry_row[static_cast<std::size_t>(entry)] == unknown)
                result_.names.place_name(entry, name);
        return;
    }
    if (header_ || rules_.header || result_.animal.empty()) return;
    const NameEntry sire = result_.sire[0], dam = result_.dam[0];
    if (sire == unknown || dam == unknown) return;
    if (!used_after_first_row(sire) && !used_after_first_row(dam))
        result_.notes.push_back(std::string(refuse_.file_name()) + ": line " +
                                std::to_string(first_number_) + ": read as animal " +
                                common::quoted(result_.names.name(result_.animal[0])) +
                                ", whose parents " + common::quoted(result_.names.name(sire)) +
                                " and " + common::quoted(result_.names.name(dam)) +
                                " are named nowhere else; if it is a header, give --header");
}

// The summary's words on the generations and the layout.
void RowsReader::describe()
{
    const std::size_t base = layout_.row_names ? 1 : 0;
    if (!layout_.time) {
        result_.generation_source = "0 for founders, else 1 + the latest parent's";
    } else if (*layout_.time == base + 3) {
        result_.generation_source = "the input's fourth column";
    } else {
        result_.generation_source =
            "the input's column " + column_names({*layout_.time}, header_names_);
    }
    if (result_.generations_missing > 0)
        result_.generation_source +=
            "; " + std::to_string(result_.generations_missing) + " missing, taken from the parents";
    std::vector<std::string> parts;
    if (layout_.row_names) parts.push_back("row names in column 1 skipped");
    std::vector<std::size_t> unused = layout_.unused();
    std::erase_if(unused, [this](std::size_t k) { return kept_.keeps(k); });
    if (!unused.empty()) parts.push_back("ignored columns: " + column_names(unused, header_names_));
    if (!parts.empty() || separator_ == Separator::semicolon)
        parts.insert(parts.begin(), separator_name(separator_));
    for (const std::string& part : parts)
        result_.layout += (result_.layout.empty() ? "" : "; ") + part;
}

}  // namespace pedsim::pedigree
