#include "pedigree/pedigree_rows.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "common/failure.h"
#include "pedigree/birth_dates.h"
#include "pedigree/pedigree_fields.h"

namespace pedsim::stats {

namespace {

// More columns than any export holds: a line with more is refused as soon as
// they are counted, before a huge line is split to its end.
constexpr std::size_t most_columns = 1000;
constexpr std::size_t lines_deciding_separator = 5;
constexpr std::size_t most_names = std::numeric_limits<NameEntry>::max();

// The lines that hold data: not blank, not a comment, not a row of separators.
class DataLines {
public:
    explicit DataLines(std::string_view text) : text_(text) {}

    // The next data line, without its line end; false at the end of the text.
    bool next(std::string_view& line, LineNumber& number)
    {
        while (start_ < text_.size()) {
            const std::size_t end = std::min(text_.find('\n', start_), text_.size());
            line = text_.substr(start_, end - start_);
            start_ = end + 1;
            ++number_;
            const std::size_t first = first_non_blank(line);
            if (first == std::string_view::npos || line[first] == '#' || is_empty_row(line))
                continue;
            if (line.ends_with('\r')) line.remove_suffix(1);
            number = number_;
            return true;
        }
        return false;
    }

private:
    std::string_view text_;
    std::size_t start_ = 0;
    LineNumber number_ = 0;
};

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

bool is_missing_value(std::string_view field)
{
    return field.empty() || field == "NA" || field == "." || field == "-";
}

// An integer field: "+1" and "12.0" read as 1 and 12. 32 bits hold any
// generation or year, and leave room for one less or more.
std::int64_t read_generation(std::string_view field, LineNumber line, const Refusal& refuse)
{
    std::string_view text = identifier(field);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        refuse(line, "generation " + quoted(field) + " is outside the 32-bit integer range");
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        refuse(line, "generation " + quoted(field) + " is not an integer");
    return value;
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

Sex sex_of(std::string_view field)
{
    if (same_word(field, "m") || same_word(field, "male") || field == "1") return Sex::male;
    if (same_word(field, "f") || same_word(field, "female") || field == "2") return Sex::female;
    return Sex::unrecorded;
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

class RowsReader {
public:
    RowsReader(std::string_view text, const Refusal& refuse, const ReadingRules& rules)
        : text_(text), refuse_(refuse), rules_(rules), separator_(separator_of_text(text))
    {}

    PedigreeRows read();

private:
    void take_first_line(std::string_view line, LineNumber number);
    void set_layout(std::size_t count, LineNumber number);
    void check_count(std::string_view line, LineNumber number);
    bool is_header_line() const;
    bool all_header_words() const;
    void refuse_header_in_middle(LineNumber number) const;
    void add_row(LineNumber number);
    void enter_pending_rows();
    std::string_view parent(std::string_view field) const;
    NameEntry enter_animal(const KeyedName& animal, LineNumber number);
    NameEntry enter_parent(const KeyedName& parent, LineNumber number);
    void refuse_listed_twice(NameEntry entry, std::string_view here) const;
    bool used_after_first_row(NameEntry entry) const;
    bool is_unknown_label(std::string_view name) const;
    void settle_first_line();
    std::int64_t read_time(std::string_view field, LineNumber number);
    void describe();

    std::string_view text_;
    const Refusal& refuse_;
    const ReadingRules& rules_;
    Separator separator_;
    std::vector<std::string_view> fields_;
    PedigreeRows result_;
    ColumnLayout layout_;
    std::optional<ColumnLayout> header_layout_;
    bool layout_set_ = false, header_ = false, guessed_header_ = false;
    std::vector<std::string> header_names_;
    std::string_view first_line_;
    LineNumber first_number_ = 0, header_number_ = 0;
    std::optional<bool> dates_;  // the time column holds dates; decided by its first value
    double birth_time_ = 0;      // the date of the row being read, in fractional years
    // Rows whose names are keyed but not yet entered: a few rows' slots
    // load from memory at the same time, where one row's would one by one.
    struct PendingRow {
        KeyedName animal, sire, dam;
        LineNumber number;
    };
    static constexpr std::size_t rows_entered_together = 8;
    std::array<PendingRow, rows_entered_together> pending_{};
    std::size_t pending_count_ = 0;
};

PedigreeRows RowsReader::read()
{
    if (const void* nul = std::memchr(text_.data(), 0, text_.size()))
        refuse_(line_at(text_, static_cast<const char*>(nul)),
                "a NUL byte; a pedigree is text (is this file binary, or UTF-16 without its byte "
                "order mark?)");
    DataLines lines(text_);
    std::string_view line;
    LineNumber number = 0;
    if (!lines.next(line, number)) return std::move(result_);
    try {
        take_first_line(line, number);
        while (lines.next(line, number)) {
            const std::size_t most = layout_set_ ? layout_.fields + 1 : most_columns;
            if (const char* wrong = split_fields(line, separator_, most, fields_))
                refuse_(number, wrong);
            if (!layout_set_) set_layout(fields_.size(), number);
            check_count(line, number);
            add_row(number);
        }
    } catch (const Failure&) {
        enter_pending_rows();  // an animal listed twice on an earlier row comes first
        throw;
    }
    enter_pending_rows();
    settle_first_line();
    describe();
    return std::move(result_);
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
        throw Failure(ExitStatus::usage_refused,
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
            throw Failure(ExitStatus::usage_refused,
                          "--columns " + rules_.columns.text + ": column " +
                              std::to_string(*column + 1) + " is beyond the " +
                              count_text(layout_.fields) + " of line " + std::to_string(number));
    const std::vector<std::size_t> unused = layout_.unused();
    if (!unused.empty() && !header_)
        result_.notes.push_back(std::string(refuse_.file_name()) + ": line " +
                                std::to_string(number) + ": column" +
                                (unused.size() == 1 ? " " : "s ") + column_names(unused, {}) +
                                " ignored; without a header a row gives animal, sire, dam and a "
                                "generation or birth year (--columns names other columns)");
}

void RowsReader::check_count(std::string_view line, LineNumber number)
{
    const std::size_t count = fields_.size();
    if (count == layout_.fields && count >= 3) return;
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

bool RowsReader::is_unknown_label(std::string_view name) const
{
    return std::ranges::any_of(rules_.unknown_labels,
                               [name](const std::string& label) { return same_word(name, label); });
}

std::string_view RowsReader::parent(std::string_view field) const
{
    const std::string_view name = identifier(field);
    return is_unknown(name) || is_unknown_label(name) ? std::string_view{} : name;
}

void RowsReader::refuse_listed_twice(NameEntry entry, std::string_view here) const
{
    const LineNumber other = line_at(text_, result_.names.name(entry).data());
    const LineNumber this_line = line_at(text_, here.data());
    const LineNumber first = std::min(other, this_line), last = std::max(other, this_line);
    refuse_(last, "animal " + quoted(here) + " is listed twice (lines " + std::to_string(first) +
                      " and " + std::to_string(last) + ")");
}

// The entry of a row's animal, which takes the next row; refused when an
// earlier row holds it.
NameEntry RowsReader::enter_animal(const KeyedName& animal, LineNumber number)
{
    if (result_.names.size() >= most_names) refuse_(number, "more animals than 2147483647");
    bool added = false;
    const NameEntry entry = result_.names.enter(animal, added);
    const auto row = static_cast<AnimalIndex>(result_.animal.size());
    if (added) {
        result_.entry_row.push_back(row);
        return entry;
    }
    AnimalIndex& own_row = result_.entry_row[static_cast<std::size_t>(entry)];
    if (own_row != unknown) refuse_listed_twice(entry, animal.name);
    own_row = row;
    result_.names.place_name(entry, animal.name);
    return entry;
}

// The entry of a parent; unknown for an empty name (an unknown parent).
NameEntry RowsReader::enter_parent(const KeyedName& parent, LineNumber number)
{
    const std::string_view name = parent.name;
    if (name.empty()) return unknown;
    if (result_.names.size() >= most_names) refuse_(number, "more animals than 2147483647");
    bool added = false;
    const NameEntry entry = result_.names.enter(parent, added);
    if (added) result_.entry_row.push_back(unknown);
    return entry;
}

void RowsReader::add_row(LineNumber number)
{
    const std::string_view animal = identifier(fields_[layout_.animal]);
    if (is_unknown(animal) || is_unknown_label(animal)) {
        if (number != first_number_ && all_header_words()) refuse_header_in_middle(number);
        refuse_(number, "the animal's identifier " + quoted(fields_[layout_.animal]) +
                            " is a mark of an unknown parent");
    }
    if (number != first_number_ && header_role(animal) != Role::none && all_header_words())
        refuse_header_in_middle(number);
    const NameTable& names = result_.names;
    pending_[pending_count_++] = {names.keyed(animal), names.keyed(parent(fields_[layout_.sire])),
                                  names.keyed(parent(fields_[layout_.dam])), number};
    if (pending_count_ == rows_entered_together) enter_pending_rows();
    if (layout_.time) {
        const std::string_view field = fields_[*layout_.time];
        const std::int64_t generation =
            is_missing_value(field) ? no_generation : read_time(field, number);
        result_.generations_missing += generation == no_generation ? 1 : 0;
        result_.generation.push_back(generation);
        if (dates_.value_or(false)) {
            // Rows before the first date had none.
            constexpr double none = std::numeric_limits<double>::quiet_NaN();
            result_.birth_time.resize(result_.generation.size() - 1, none);
            result_.birth_time.push_back(generation == no_generation ? none : birth_time_);
        }
    }
    if (layout_.sex) result_.sex.push_back(sex_of(fields_[*layout_.sex]));
}

void RowsReader::enter_pending_rows()
{
    const std::size_t count = std::exchange(pending_count_, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const PendingRow& row = pending_[k];
        result_.animal.push_back(enter_animal(row.animal, row.number));
        result_.sire.push_back(enter_parent(row.sire, row.number));
        result_.dam.push_back(enter_parent(row.dam, row.number));
    }
}

// A present time value: the column's first decides whether it holds dates
// (the cohort is then the year, and the date is kept in fractional years) or
// integers, and every later value must be of the same kind.
std::int64_t RowsReader::read_time(std::string_view field, LineNumber number)
{
    // Once the column holds integers, no date is looked for: the parse of
    // one per row took 2% of the reading of a herd book.
    if (dates_ == false) return read_generation(field, number, refuse_);
    const std::optional<std::chrono::sys_days> date = date_named(identifier(field));
    if (!dates_) dates_ = date.has_value();
    if (!*dates_) return read_generation(field, number, refuse_);
    if (!date)
        refuse_(number, "time " + quoted(field) +
                            " is not a date (YYYY-MM-DD, YYYY/MM/DD or DD.MM.YYYY) as the "
                            "column's first value is");
    birth_time_ = fractional_year(*date);
    return static_cast<int>(std::chrono::year_month_day(*date).year());
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
        last_to_front(result_.sex);
        last_to_front(result_.birth_time);
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
                                quoted(result_.names.name(result_.animal[0])) + ", whose parents " +
                                quoted(result_.names.name(sire)) + " and " +
                                quoted(result_.names.name(dam)) +
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
    const std::vector<std::size_t> unused = layout_.unused();
    if (!unused.empty()) parts.push_back("ignored columns: " + column_names(unused, header_names_));
    if (!parts.empty() || separator_ == Separator::semicolon)
        parts.insert(parts.begin(), separator_name(separator_));
    for (const std::string& part : parts)
        result_.layout += (result_.layout.empty() ? "" : "; ") + part;
}

}  // namespace

void Refusal::operator()(LineNumber line, const std::string& what) const
{
    throw Failure(ExitStatus::input_refused, Place{std::string(file_name_), line}, what);
}

LineNumber line_at(std::string_view text, const char* position)
{
    const auto offset = static_cast<std::size_t>(position - text.data());
    return 1 + static_cast<LineNumber>(std::ranges::count(text.substr(0, offset), '\n'));
}

PedigreeRows read_rows(std::string_view text, const Refusal& refuse, const ReadingRules& rules)
{
    return RowsReader(text, refuse, rules).read();
}

}  // namespace pedsim::stats
