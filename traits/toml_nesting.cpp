#include "traits/toml_nesting.h"

#include <string>
#include <vector>

#include "common/exit_status.h"
#include "common/failure.h"

namespace pedsim::traits {

namespace {

// An array or inline table open at the scan's position, and the level of
// what it holds.
struct Open {
    char kind;  // '[' or '{'
    std::size_t level;
};

// One pass over the text, tracking only what decides the nesting: whether a
// key or a value is being read, the containers open and the level of the
// last table header.
class NestingScan {
public:
    NestingScan(std::string_view text, std::string_view file_name)
        : text_(text), file_name_(file_name)
    {}

    void run()
    {
        while (at_ < text_.size()) step(text_[at_]);
    }

private:
    void step(char c)
    {
        if (c == '"' || c == '\'') return skip_string(c);
        if (c == '#') return skip_comment();
        ++at_;
        if (c == '\n') return end_line();
        if (c == '.' && in_key_) return reach(++key_level_);
        if (c == '=' && in_key_ && !in_header_) {
            in_key_ = false;
            value_level_ = key_level_;
        } else if (c == '[' && in_key_ && open_.empty()) {
            start_header();
        } else if (c == ']' && in_header_) {
            end_header();
        } else if (c == '[' || c == '{') {
            open(c);
        } else if (c == ']' || c == '}') {
            close();
        } else if (c == ',' && !open_.empty()) {
            next_item();
        }
    }

    // A new statement starts on each line outside arrays and inline tables.
    void end_line()
    {
        ++line_;
        if (!open_.empty()) return;
        in_key_ = true;
        in_header_ = false;
        key_level_ = table_level_;
    }

    // "[a.b]" or "[[a.b]]": the keys below it stand at its level.
    void start_header()
    {
        if (in_header_) return;  // the second bracket of "[["
        in_header_ = true;
        reach(key_level_ = 1);
    }

    void end_header()
    {
        in_header_ = false;
        in_key_ = false;
        table_level_ = key_level_;
    }

    void open(char kind)
    {
        const std::size_t level = (in_key_ ? key_level_ : value_level_) + 1;
        reach(level);
        open_.push_back({kind, level});
        in_key_ = kind == '{';
        key_level_ = value_level_ = level;
    }

    void close()
    {
        if (!open_.empty()) open_.pop_back();
        in_key_ = false;
        if (!open_.empty()) value_level_ = open_.back().level;
    }

    // After a comma an array holds another value, an inline table another key.
    void next_item()
    {
        in_key_ = open_.back().kind == '{';
        key_level_ = value_level_ = open_.back().level;
    }

    void reach(std::size_t level) const
    {
        if (level > most_nesting_levels)
            throw common::Failure(
                common::ExitStatus::input_refused, common::Place{std::string(file_name_), line_},
                "nested more than " + std::to_string(most_nesting_levels) +
                    " levels deep (tables, arrays, inline tables and the parts of "
                    "dotted keys); write the model flatter");
    }

    void skip_comment()
    {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    }

    // A string from its opening quote past its closing one. A single-line
    // string ends at the end of its line at the latest, as the library
    // ends it; a multi-line one closes at the last three quotes of a run.
    void skip_string(char quote)
    {
        const bool multi_line = text_.substr(at_, 3) == std::string(3, quote);
        at_ += multi_line ? 3 : 1;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '\n' && !multi_line) return;
            ++at_;
            if (c == '\n') ++line_;
            if (c == '\\' && quote == '"' && at_ < text_.size() && text_[at_] != '\n') ++at_;
            if (c != quote) continue;
            if (!multi_line) return;
            std::size_t run = 1;
            while (at_ < text_.size() && text_[at_] == quote) ++at_, ++run;
            if (run >= 3) return;
        }
    }

    std::string_view text_;
    std::string_view file_name_;
    std::size_t at_ = 0;
    std::size_t line_ = 1;
    std::vector<Open> open_;
    std::size_t table_level_ = 0;  // of the keys under the last table header
    std::size_t key_level_ = 0;    // reached by the key being read
    std::size_t value_level_ = 0;  // where the value being read stands
    bool in_key_ = true;           // a key is read or expected
    bool in_header_ = false;
};

}  // namespace

void refuse_deep_nesting(std::string_view text, std::string_view file_name)
{
    NestingScan(text, file_name).run();
}

}  // namespace pedsim::traits
