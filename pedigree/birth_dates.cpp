#include "pedigree/birth_dates.h"

#include <array>
#include <charconv>

namespace pedsim::pedigree {

namespace {

// The integer of `digits` digits, at least `fewest`; nothing for anything else.
std::optional<int> number_named(std::string_view text, std::size_t fewest, std::size_t most)
{
    int value = 0;
    if (text.size() < fewest || text.size() > most) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.front() == '-')
        return std::nullopt;
    return value;
}

// The three fields of `text` split at `separator`; nothing unless there are
// exactly three.
std::optional<std::array<std::string_view, 3>> three_fields(std::string_view text, char separator)
{
    std::array<std::string_view, 3> fields;
    for (std::size_t k = 0; k < 3; ++k) {
        const std::size_t end = text.find(separator);
        if ((end == std::string_view::npos) != (k == 2)) return std::nullopt;
        fields[k] = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    return fields;
}

std::optional<std::chrono::sys_days> calendar_day(std::optional<int> year, std::optional<int> month,
                                                  std::optional<int> day)
{
    if (!year || !month || !day) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(*year),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) return std::nullopt;
    return std::chrono::sys_days(date);
}

}  // namespace

std::optional<std::chrono::sys_days> date_named(std::string_view text)
{
    for (const char separator : {'-', '/'})
        if (const auto f = three_fields(text, separator))
            return calendar_day(number_named((*f)[0], 4, 4), number_named((*f)[1], 1, 2),
                                number_named((*f)[2], 1, 2));
    if (const auto f = three_fields(text, '.'))
        return calendar_day(number_named((*f)[2], 4, 4), number_named((*f)[1], 1, 2),
                            number_named((*f)[0], 1, 2));
    return std::nullopt;
}

double fractional_year(std::chrono::sys_days date)
{
    const std::chrono::year year = std::chrono::year_month_day(date).year();
    const std::chrono::sys_days start{year / std::chrono::January / 1};
    const std::chrono::sys_days next{(year + std::chrono::years(1)) / std::chrono::January / 1};
    return static_cast<double>(static_cast<int>(year)) +
           static_cast<double>((date - start).count()) /
               static_cast<double>((next - start).count());
}

}  // namespace pedsim::pedigree
