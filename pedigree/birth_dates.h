// Birth dates as herd books write them, read into days and fractional years,
// so a time column of dates can give ages at birth finer than a year.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace pedsim::pedigree {

// The date in `text`, written YYYY-MM-DD, YYYY/MM/DD or DD.MM.YYYY (ISO 8601,
// its common variant with slashes, and the European day-first form), the
// month and day with one or two digits; nothing for any other text or for a
// day that the calendar does not have (2023-02-29).
std::optional<std::chrono::sys_days> date_named(std::string_view text);

// A date as a fractional year: the year plus the days since its 1 January
// over the days of that year (2000-07-02 is 2000.5); differences of these are
// ages in years.
double fractional_year(std::chrono::sys_days date);

}  // namespace pedsim::pedigree
