// The text of the pedigree file: each animal's line formatted with
// std::to_chars into a block of lines, and the blocks handed to a sink.
#include "sim/pedigree_writer.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace pedsim::sim {

namespace {

constexpr std::size_t lines_per_block = 8192;  // about 224 KiB: large writes, few pages
constexpr std::size_t field_width = 6;

// Writes `value` right-aligned in the six characters at `out`, which hold
// blanks; a value that needs more than six characters becomes six asterisks.
inline void put_field(char* out, std::int32_t value)
{
    if (value > 999999 || value < -99999) {
        std::memset(out, '*', field_width);
        return;
    }
    // The width of the value as text, so that to_chars writes it in place.
    const std::uint32_t magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::size_t width = value < 0 ? 2 : 1;
    for (std::uint32_t bound = 10; bound <= magnitude; bound *= 10) ++width;
    std::to_chars(out + field_width - width, out + field_width, value);
}

}  // namespace

char* format_pedigree_line(char* out, std::int32_t animal, std::int32_t sire, std::int32_t dam,
                           std::int32_t generation)
{
    // Fields at columns 0, 7, 14 and 21, blanks between, the line feed at 27.
    static constexpr char blank_line[pedigree_line_length + 1] = "                           \n";
    std::memcpy(out, blank_line, pedigree_line_length);
    put_field(out, animal);
    put_field(out + 7, sire);
    put_field(out + 14, dam);
    put_field(out + 21, generation);
    return out + pedigree_line_length;
}

void write_pedigree(const Tables& t, std::int32_t ngen, BlockSink& out)
{
    // The call's own block, not a static one: no function hides state
    // between calls (the rule for threads in the README's layout section).
    std::vector<char> block(lines_per_block * pedigree_line_length);
    const auto animals = static_cast<std::size_t>(t.animal_count);
    const std::int32_t* new_number = t.new_number.data();
    for (std::size_t first = 0; first < animals; first += lines_per_block) {
        const std::size_t last = std::min(animals, first + lines_per_block);
        char* end = block.data();
        for (std::size_t r = first; r < last; ++r) {
            const std::int32_t number = new_number[t.sorted_pedigree.id(r)];
            // The animal numbered n stands in the pedigree's row n - 1, within its own
            // generation's block, so this is the animal's own generation.
            const std::int32_t generation =
                t.generation_of_row[static_cast<std::size_t>(number) - 1];
            end = format_pedigree_line(end, number, new_number[t.sorted_pedigree.sire(r)],
                                       new_number[t.sorted_pedigree.dam(r)], generation - ngen);
        }
        out.write(block.data(), static_cast<std::size_t>(end - block.data()));
    }
}

std::string pedigree_text(const Tables& t, std::int32_t ngen)
{
    struct StringSink final : BlockSink {
        std::string text;
        void write(const char* data, std::size_t size) override { text.append(data, size); }
    } sink;
    write_pedigree(t, ngen, sink);
    return sink.text;
}

}  // namespace pedsim::sim
