// The reader of a pedigree's rows, whose work two files share: rows_reader.cpp
// accumulates the rows (names entered, times and sexes read) and gives
// read_rows, column_decision.cpp decides what the first line is and which
// column holds what, and describes the layout. Only those two and
// kept_columns.cpp include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pedigree/column_layout.h"
#include "pedigree/kept_columns.h"
#include "pedigree/name_table.h"
#include "pedigree/pedigree_fields.h"
#include "pedigree/pedigree_rows.h"
#include "shell/batch_pipe.h"

namespace pedsim::pedigree {

// More columns than any export holds: a line with more is refused as soon as
// they are counted, before a huge line is split to its end.
inline constexpr std::size_t most_columns = 1000;

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
    // The bytes of the text read so far.
    std::size_t bytes_read() const { return std::min(start_, text_.size()); }

private:
    std::string_view text_;
    std::size_t start_ = 0;
    LineNumber number_ = 0;
};

// The separator of the file, decided on its first data lines.
Separator separator_of_text(std::string_view text);

inline bool is_missing_value(std::string_view field)
{
    return field.empty() || field == "NA" || field == "." || field == "-";
}

class RowsReader {
public:
    RowsReader(std::string_view text, const Refusal& refuse, const ReadingRules& rules)
        : text_(text), refuse_(refuse), rules_(rules), separator_(separator_of_text(text)),
          kept_(rules.kept_columns)
    {}

    PedigreeRows read();

private:
    void take_first_line(std::string_view line, LineNumber number);
    void set_layout(std::size_t count, LineNumber number);
    // Refuses a row whose count of fields is not the layout's (refuse_count).
    void check_count(std::string_view line, LineNumber number)
    {
        if (fields_.size() == layout_.fields && fields_.size() >= 3) return;
        refuse_count(line, number);
    }
    [[noreturn]] void refuse_count(std::string_view line, LineNumber number) const;
    bool is_header_line() const;
    bool all_header_words() const;
    void refuse_header_in_middle(LineNumber number) const;
    void add_row(LineNumber number);
    void enter_pending_rows();
    void reserve_for_rows_like_these(std::size_t bytes_read);
    static constexpr std::size_t rows_before_estimate = 4096;
    std::string_view parent(std::string_view field) const;
    NameEntry enter_animal(const KeyedName& animal, LineNumber number);
    NameEntry enter_parent(const KeyedName& parent, LineNumber number);
    void refuse_listed_twice(NameEntry entry, std::string_view here) const;
    bool used_after_first_row(NameEntry entry) const;
    bool is_unknown_label(std::string_view name) const;
    void settle_first_line();
    void add_time(std::string_view field, LineNumber number);
    std::int64_t read_time(std::string_view field, LineNumber number);
    void describe();

    // Rows whose names are keyed but not yet entered, entered a batch at a
    // time with their times, each row's slots asked of memory a few rows
    // ahead so that they load at the same time, where one row's would one by
    // one. Past the first rows the batches are entered on a thread beside the
    // one that splits the lines (pipe_): the two halves of the work take
    // about as long.
    struct PendingRow {
        KeyedName animal, sire, dam;
        std::string_view time;  // the time column's field, read with the names
        LineNumber number;
    };
    using RowBatch = std::vector<PendingRow>;
    static constexpr std::size_t rows_per_batch = 2048;
    static constexpr std::size_t batches_waiting = 4;
    static constexpr std::size_t rows_prefetched_ahead = 8;
    void enter_rows(const RowBatch& rows);
    void finish_entering(std::optional<shell::BatchPipe<RowBatch>>& pipe);

    // Set before the rows are split, or once by the first lines; read by both threads:
    std::string_view text_;
    const Refusal& refuse_;
    const ReadingRules& rules_;
    Separator separator_;
    ColumnLayout layout_;
    std::optional<ColumnLayout> header_layout_;
    bool layout_set_ = false, header_ = false, guessed_header_ = false;
    std::vector<std::string> header_names_;
    std::string_view first_line_;
    LineNumber first_number_ = 0, header_number_ = 0;

    // What each thread writes for every row lies on cache lines of its own:
    // with the two threads' counters and vector ends on shared lines, each
    // write took the line from the other core, and the reading of a herd
    // book of a million rows took half as long again on two threads as on one.
    static constexpr std::size_t cache_line = 64;
    // Written by the thread that enters the names:
    alignas(cache_line) PedigreeRows result_;  // its sexes and kept columns come at the end
    std::optional<bool> dates_;  // the time column holds dates; decided by its first value
    double birth_time_ = 0;      // the date of the row being read, in fractional years
    // Written by the thread that splits the lines:
    alignas(cache_line) std::vector<std::string_view> fields_;
    RowBatch batch_;
    std::size_t rows_read_ = 0;                   // the rows split, entered or not
    shell::BatchPipe<RowBatch>* pipe_ = nullptr;  // set while the rows are entered beside
    bool entering_failed_ = false;                // the pipe's entering threw: read no further
    std::vector<Sex> sexes_;                      // one per row with a sex column
    KeptColumns kept_;  // the columns the rules ask to keep; empty for most programs
};

}  // namespace pedsim::pedigree
