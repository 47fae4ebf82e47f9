#include "pedigree_writer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace pedsim {

namespace {

// A line is assembled from 64-bit words, the first character of a field in
// the word's lowest byte.
static_assert(std::endian::native == std::endian::little,
              "fields are assembled as little-endian words");

constexpr std::size_t lines_per_block = 8192;  // about 224 KiB: large writes, few pages

// "00", "01", ..., "99": two digits per table lookup.
constexpr std::array<char, 200> digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t n = 0; n < 100; ++n) {
        pairs[2 * n] = static_cast<char>('0' + n / 10);
        pairs[2 * n + 1] = static_cast<char>('0' + n % 10);
    }
    return pairs;
}();

constexpr std::uint64_t six_asterisks = 0x2a2a2a2a2a2a;
constexpr std::uint64_t blanks = 0x2020202020202020;
constexpr std::uint64_t zero_digits = 0x303030303030;             // "000000"
constexpr std::uint64_t last_digit_bit = std::uint64_t{1} << 40;  // lowest bit of the sixth byte

// The two digits of 0 <= n <= 99 in the two low bytes.
std::uint64_t pair_word(std::uint32_t n)
{
    std::uint16_t pair = 0;
    std::memcpy(&pair, &digit_pairs[2 * n], sizeof pair);
    return pair;
}

// The six characters of `value` right-aligned, in the six low bytes of the
// result (the two high bytes are zero). The magnitude is written as six
// digits, two at a time; its leading zeros, the zero bytes at the low end of
// the word once '0' is taken from every digit (all but the last digit of
// zero), then become blanks, the last of them the sign of a negative value.
// A value that does not fit, above 999999 or below -99999, is six asterisks.
inline std::uint64_t field_word(std::int32_t value)
{
    if (value > 999999 || value < -99999) return six_asterisks;
    const bool negative = value < 0;
    // Kept unsigned so that no value overflows.
    const std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    const std::uint32_t below_10000 = magnitude % 10000;
    const std::uint64_t digits = pair_word(magnitude / 10000) | pair_word(below_10000 / 100) << 16 |
                                 pair_word(below_10000 % 100) << 32;
    const std::uint64_t digit_values = digits - zero_digits;
    const int leading = std::countr_zero(digit_values | last_digit_bit) / 8;  // 0 .. 5
    const std::uint64_t leading_mask = (std::uint64_t{1} << (8 * leading)) - 1;
    std::uint64_t word = (digits & ~leading_mask) | (blanks & leading_mask);
    if (negative) {
        // A negative magnitude has at most five digits, so a blank is there to take the sign.
        const int sign_shift = 8 * (leading - 1);
        word = (word & ~(std::uint64_t{0xff} << sign_shift)) | (std::uint64_t{'-'} << sign_shift);
    }
    return word;
}

void store_word(char* out, std::uint64_t word) { std::memcpy(out, &word, sizeof word); }

}  // namespace

char* format_pedigree_line(char* out, std::int32_t animal, std::int32_t sire, std::int32_t dam,
                           std::int32_t generation)
{
    // Fields at columns 0, 7, 14 and 21, each written with the blank that
    // follows it; each eight-byte store runs over bytes the next one
    // rewrites, and the last one, which starts at the blank before the
    // generation, ends with the line feed at column 27.
    constexpr std::uint64_t blank_after = std::uint64_t{' '} << 48;
    store_word(out, field_word(animal) | blank_after);
    store_word(out + 7, field_word(sire) | blank_after);
    store_word(out + 14, field_word(dam) | blank_after);
    store_word(out + 20,
               std::uint64_t{' '} | field_word(generation) << 8 | std::uint64_t{'\n'} << 56);
    return out + pedigree_line_length;
}

void write_pedigree(const Tables& t, std::int32_t ngen, BlockSink& out)
{
    static std::array<char, lines_per_block * pedigree_line_length> block;
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

}  // namespace pedsim
