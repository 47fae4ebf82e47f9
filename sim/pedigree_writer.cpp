#include "pedigree_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pedsim {

namespace {

constexpr int field_width = 6;
constexpr std::size_t lines_per_block = 8192;  // about 224 KiB: large writes, few pages

// Writes `value` right-aligned in a field of six characters.
char* format_field(char* out, std::int32_t value)
{
    if (value > 999999 || value < -99999) {
        std::memset(out, '*', field_width);
        return out + field_width;
    }
    // Digits from the right; magnitude kept unsigned so that no value overflows.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    char* p = out + field_width;
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--p = '-';
    while (p > out) *--p = ' ';
    return out + field_width;
}

}  // namespace

char* format_pedigree_line(char* out, std::int32_t animal, std::int32_t sire, std::int32_t dam,
                           std::int32_t generation)
{
    out = format_field(out, animal);
    *out++ = ' ';
    out = format_field(out, sire);
    *out++ = ' ';
    out = format_field(out, dam);
    *out++ = ' ';
    out = format_field(out, generation);
    *out++ = '\n';
    return out;
}

void write_pedigree(const Tables& t, std::int32_t ngen, BlockSink& out)
{
    static std::array<char, lines_per_block * pedigree_line_length> block;
    const auto animals = static_cast<std::size_t>(t.nanim);
    const std::int32_t* corr = t.corr.data();
    for (std::size_t first = 0; first < animals; first += lines_per_block) {
        const std::size_t last = std::min(animals, first + lines_per_block);
        char* end = block.data();
        for (std::size_t r = first; r < last; ++r) {
            const std::int32_t number = corr[t.ped_sorted.id(r)];
            // The animal numbered n stands in ped's row n - 1, within its own
            // generation's block, so this is the animal's own generation.
            const std::int32_t generation = t.gen[static_cast<std::size_t>(number) - 1];
            end = format_pedigree_line(end, number, corr[t.ped_sorted.sire(r)],
                                       corr[t.ped_sorted.dam(r)], generation - ngen);
        }
        out.write(block.data(), static_cast<std::size_t>(end - block.data()));
    }
}

}  // namespace pedsim
