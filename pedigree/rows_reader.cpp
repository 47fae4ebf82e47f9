#include "pedigree/rows_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "common/failure.h"
#include "pedigree/birth_dates.h"

namespace pedsim::pedigree {

namespace {

constexpr std::size_t most_names = std::numeric_limits<NameEntry>::max();

// An integer field: "+1" and "12.0" read as 1 and 12. 32 bits hold any
// generation or year, and leave room for one less or more.
std::int64_t read_generation(std::string_view field, LineNumber line, const Refusal& refuse)
{
    std::string_view text = identifier(field);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        refuse(line,
               "generation " + common::quoted(field) + " is outside the 32-bit integer range");
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        refuse(line, "generation " + common::quoted(field) + " is not an integer");
    return value;
}

// Lines per byte of `text`, from its newlines counted in windows spread
// evenly over it: a herd book's first rows, its founders without parents,
// are shorter than the rest, and estimating from them alone sized the name
// table for 1.7 times the rows (twice the slots to fill with zeros).
double sampled_lines_per_byte(std::string_view text)
{
    constexpr std::size_t windows = 16, window = std::size_t{1} << 16;
    if (text.empty()) return 0;
    if (text.size() <= windows * window)
        return static_cast<double>(std::ranges::count(text, '\n')) /
               static_cast<double>(text.size());
    std::size_t lines = 0;
    for (std::size_t k = 0; k < windows; ++k) {
        const std::size_t start = (text.size() - window) * k / (windows - 1);
        lines += static_cast<std::size_t>(std::ranges::count(text.substr(start, window), '\n'));
    }
    return static_cast<double>(lines) / static_cast<double>(windows * window);
}

Sex sex_of(std::string_view field)
{
    if (same_word(field, "m") || same_word(field, "male") || field == "1") return Sex::male;
    if (same_word(field, "f") || same_word(field, "female") || field == "2") return Sex::female;
    return Sex::unrecorded;
}

}  // namespace

// Sizes the name table and the columns for as many rows as the whole text
// holds: growing the table step by step allocated and rehashed twice its
// final size, and the columns moved as they grew. The density is that of the
// data rows read so far, so that a text of blank lines reserves nothing, but
// no more than that of the lines over the whole text.
void RowsReader::reserve_for_rows_like_these(std::size_t bytes_read)
{
    const double rows_per_byte =
        std::min(static_cast<double>(rows_before_estimate) /
                     static_cast<double>(std::max<std::size_t>(bytes_read, 1)),
                 sampled_lines_per_byte(text_));
    const auto rows = static_cast<std::size_t>(std::min(
        rows_per_byte * static_cast<double>(text_.size()), static_cast<double>(most_names)));
    result_.names.reserve(rows);
    for (std::vector<NameEntry>* column : {&result_.animal, &result_.sire, &result_.dam})
        column->reserve(rows);
    result_.entry_row.reserve(rows);
    if (layout_.time) result_.generation.reserve(rows);
    if (layout_.sex) sexes_.reserve(rows);
}

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
    std::optional<shell::BatchPipe<RowBatch>> pipe;
    try {
        take_first_line(line, number);
        while (!entering_failed_ && lines.next(line, number)) {
            const std::size_t most = layout_set_ ? layout_.fields + 1 : most_columns;
            if (const char* wrong = split_fields(line, separator_, most, fields_))
                refuse_(number, wrong);
            if (!layout_set_) set_layout(fields_.size(), number);
            check_count(line, number);
            add_row(number);
            if (rows_read_ == rows_before_estimate) {
                enter_pending_rows();
                reserve_for_rows_like_these(lines.bytes_read());
                pipe.emplace([this](RowBatch& rows) { enter_rows(rows); }, batches_waiting);
                pipe_ = &*pipe;
            }
        }
        finish_entering(pipe);
    } catch (const common::Failure&) {
        // The rows before the line refused are entered first: an animal
        // listed twice on one of them is the first fault of the file.
        finish_entering(pipe);
        throw;
    }
    settle_first_line();
    describe();
    result_.sex = std::move(sexes_);
    if (!kept_.empty()) result_.kept = kept_.take();
    return std::move(result_);
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
    refuse_(last, "animal " + common::quoted(here) + " is listed twice (lines " +
                      std::to_string(first) + " and " + std::to_string(last) + ")");
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
        refuse_(number, "the animal's identifier " + common::quoted(fields_[layout_.animal]) +
                            " is a mark of an unknown parent");
    }
    if (number != first_number_ && header_role(animal) != Role::none && all_header_words())
        refuse_header_in_middle(number);
    batch_.push_back({NameTable::keyed(animal), NameTable::keyed(parent(fields_[layout_.sire])),
                      NameTable::keyed(parent(fields_[layout_.dam])),
                      layout_.time ? fields_[*layout_.time] : std::string_view{}, number});
    ++rows_read_;
    if (batch_.size() == rows_per_batch) enter_pending_rows();
    if (layout_.sex) sexes_.push_back(sex_of(fields_[*layout_.sex]));
    if (!kept_.empty()) kept_.add_row(fields_);
}

// The time of a row, read as its names are entered: its fault comes after
// those of the rows before and of the row's own names, as the file's order
// asks.
void RowsReader::add_time(std::string_view field, LineNumber number)
{
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

void RowsReader::enter_rows(const RowBatch& rows)
{
    const auto prefetch = [&](std::size_t k) {
        if (k >= rows.size()) return;
        for (const KeyedName* name : {&rows[k].animal, &rows[k].sire, &rows[k].dam})
            if (!name->name.empty()) result_.names.prefetch(*name);
    };
    for (std::size_t k = 0; k < rows_prefetched_ahead; ++k) prefetch(k);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        prefetch(k + rows_prefetched_ahead);
        const PendingRow& row = rows[k];
        result_.animal.push_back(enter_animal(row.animal, row.number));
        result_.sire.push_back(enter_parent(row.sire, row.number));
        result_.dam.push_back(enter_parent(row.dam, row.number));
        if (layout_.time) add_time(row.time, row.number);
    }
}

// Enters the rows split so far: hands them to the pipe while one runs.
void RowsReader::enter_pending_rows()
{
    if (batch_.empty()) return;
    // Taken out first: rows that fail to enter are not entered again.
    RowBatch rows;
    rows.swap(batch_);
    batch_.reserve(rows_per_batch);
    if (pipe_ == nullptr)
        enter_rows(rows);
    else
        entering_failed_ = !pipe_->push(std::move(rows));
}

// Enters what is left and waits for the pipe, if one runs: every row read is
// entered on return, or the entering's first failure thrown.
void RowsReader::finish_entering(std::optional<shell::BatchPipe<RowBatch>>& pipe)
{
    enter_pending_rows();
    pipe_ = nullptr;
    if (pipe) pipe->finish();
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
        refuse_(number, "time " + common::quoted(field) +
                            " is not a date (YYYY-MM-DD, YYYY/MM/DD or DD.MM.YYYY) as the "
                            "column's first value is");
    birth_time_ = fractional_year(*date);
    return static_cast<int>(std::chrono::year_month_day(*date).year());
}

PedigreeRows read_rows(std::string_view text, const Refusal& refuse, const ReadingRules& rules)
{
    return RowsReader(text, refuse, rules).read();
}

}  // namespace pedsim::pedigree
