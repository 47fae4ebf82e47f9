// How the programs' tables write their cells: every number in the shortest
// form that reads back to the same value (std::to_chars), so that the same
// values give the same bytes, and an empty cell for an undefined value (NaN).
#pragma once

#include <charconv>
#include <cmath>
#include <concepts>
#include <string>

namespace pedsim::shell {

// Appends a number in its shortest exact form; nothing for NaN.
template <class Number>
void append_number(std::string& out, Number value)
{
    if constexpr (std::floating_point<Number>)
        if (std::isnan(value)) return;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

// Appends each number with `separator` before it.
template <class... Numbers>
void append_cells(std::string& out, char separator, Numbers... values)
{
    ((out += separator, append_number(out, values)), ...);
}

// A number in its shortest exact form.
template <class Number>
std::string number_text(Number value)
{
    std::string out;
    append_number(out, value);
    return out;
}

}  // namespace pedsim::shell
