#include "design/parameter_file.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/failure.h"
#include "common/files.h"

namespace pedsim::design {

namespace {

constexpr std::size_t largest_parameter_file = 1 << 20;

constexpr std::array<const char*, 8> item_names = {"ngen",   "nsire", "ndps",  "noff",
                                                   "nsirep", "ndpsp", "noffp", "iseed"};
constexpr std::size_t counts_in_first_record = 7;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool ends_item(char c) { return is_blank(c) || c == '\n' || c == ',' || c == '/'; }

// Names item `index` (0-based) for messages: `item 5 (nsirep)`.
std::string item_label(std::size_t index)
{
    return "item " + std::to_string(index + 1) + " (" + item_names[index] + ")";
}

[[noreturn]] void refuse(const std::string& what)
{
    throw common::Failure(common::ExitStatus::input_refused, what);
}

enum class DigitsResult {
    ok,
    not_a_number,
    too_large
};

// Reads an unsigned run of decimal digits; a value above 2^31 (the
// magnitude of the most negative 32-bit integer) is too large.
DigitsResult read_digits(std::string_view digits, std::int64_t& value)
{
    // from_chars would take a minus sign; the caller has removed any sign.
    if (digits.empty() || digits.front() == '-') return DigitsResult::not_a_number;
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, value);
    if (end != last) return DigitsResult::not_a_number;
    if (error == std::errc::result_out_of_range || value > (std::int64_t{1} << 31))
        return DigitsResult::too_large;
    return DigitsResult::ok;
}

// Converts an optionally signed decimal integer that must fit in 32 bits.
std::int32_t to_int32(std::string_view text, std::string_view item, std::size_t index)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t magnitude = 0;
    const DigitsResult result = read_digits(text, magnitude);
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (result == DigitsResult::not_a_number)
        refuse(item_label(index) + " " + common::quoted(item) + " is not an integer");
    if (result == DigitsResult::too_large || value > INT32_MAX || value < INT32_MIN)
        refuse(item_label(index) + " " + common::quoted(item) +
               " is outside the 32-bit integer range");
    return static_cast<std::int32_t>(value);
}

// Walks the text item by item, keeping track of lines and commas.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    // Appends the values of the next item to `values`, at most up to `wanted`
    // values in all (a repeat count may supply more than are needed).
    void read_item(std::vector<std::int32_t>& values, std::size_t wanted);

    // Skips what is left of the current line, line end included.
    void skip_rest_of_line()
    {
        const std::size_t end = text_.find('\n', position_);
        position_ = end == std::string_view::npos ? text_.size() : end + 1;
        after_item_ = false;
    }

private:
    void skip_separators(std::size_t index);

    std::string_view text_;
    std::size_t position_ = 0;
    bool after_item_ = false;  // a comma right after an item only ends it
};

// Moves to the start of the next item: past blanks and line ends, and past
// the one comma that may end the previous item. Any other comma stands for
// an empty item, which is refused: a count or a seed must be written out.
void Scanner::skip_separators(std::size_t index)
{
    bool after_comma = false;
    while (position_ < text_.size()) {
        const char c = text_[position_];
        if (is_blank(c) || c == '\n') {
            ++position_;
        } else if (c == ',' && after_item_) {
            after_item_ = false;
            after_comma = true;
            ++position_;
        } else if (c == ',') {
            refuse(item_label(index) + " is empty (" +
                   (after_comma ? "two commas with nothing between"
                                : "a comma with no value before it") +
                   ")");
        } else if (c == '/') {
            refuse(item_label(index) + ": a slash ends the record early; write all eight values");
        } else {
            return;
        }
    }
    std::string hint;
    if (index == counts_in_first_record)
        hint = "; the seed must stand on a line after the one holding the seventh count";
    refuse("end of file before " + item_label(index) + hint);
}

void Scanner::read_item(std::vector<std::int32_t>& values, std::size_t wanted)
{
    const std::size_t index = values.size();
    skip_separators(index);
    std::size_t end = position_;
    while (end < text_.size() && !ends_item(text_[end])) ++end;
    const std::string_view item = text_.substr(position_, end - position_);
    position_ = end;
    after_item_ = true;

    const std::size_t star = item.find('*');
    if (star == std::string_view::npos) {
        values.push_back(to_int32(item, item, index));
        return;
    }
    std::int64_t repeats = 0;
    if (read_digits(item.substr(0, star), repeats) == DigitsResult::not_a_number || repeats == 0)
        refuse(item_label(index) + " " + common::quoted(item) +
               " has no valid repeat count before '*'");
    if (star + 1 == item.size())
        refuse(item_label(index) + " " + common::quoted(item) + " repeats an empty value");
    const std::int32_t value = to_int32(item.substr(star + 1), item, index);
    for (std::int64_t r = 0; r < repeats && values.size() < wanted; ++r) values.push_back(value);
}

Parameters parse(std::string_view text)
{
    Scanner scanner(text);
    std::vector<std::int32_t> values;
    while (values.size() < counts_in_first_record)
        scanner.read_item(values, counts_in_first_record);
    scanner.skip_rest_of_line();
    scanner.read_item(values, item_names.size());

    return Parameters{values[0], values[1], values[2], values[3],
                      values[4], values[5], values[6], values[7]};
}

}  // namespace

std::string read_parameter_text(const common::FileDescriptor& file, const std::string& name)
{
    std::string text;
    if (!common::read_up_to(file, name, largest_parameter_file, text))
        throw common::Failure(common::ExitStatus::file_error, common::Place{name},
                              "larger than 1 MiB; a parameter file holds eight numbers and notes");
    return text;
}

Parameters parse_parameters(std::string_view text, std::string_view file_name)
{
    return common::naming_file(file_name, common::ExitStatus::input_refused,
                               [&] { return parse(text); });
}

}  // namespace pedsim::design
